// The version resource of a Windows executable (version.dll).

#ifdef _WIN32

#include "common/ExeVersion.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

std::wstring Wide(const std::string& Text) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* Text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back(); // the terminating zero
    return narrow;
}

// The "FileVersion" text of the resource's first language, or empty.
std::string FileVersionText(const std::vector<char>& Block) {
    struct Translation {
        WORD Language;
        WORD CodePage;
    };
    Translation* translations = nullptr;
    UINT size = 0;
    if (!::VerQueryValueW(Block.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translations), &size) ||
        size < sizeof(Translation))
        return {};
    wchar_t key[64];
    std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].Language,
                  translations[0].CodePage);
    wchar_t* text = nullptr;
    if (!::VerQueryValueW(Block.data(), key, reinterpret_cast<void**>(&text), &size) || size == 0)
        return {};
    return Utf8(text);
}

} // namespace

std::string ExecutableVersion(const std::string& Path) {
    const std::wstring path = Wide(Path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<char> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    if (std::string text = FileVersionText(block); !text.empty())
        return text;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)),
                  unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                  unsigned(LOWORD(fixed->dwFileVersionLS)));
    return numbers;
}

#endif // _WIN32
