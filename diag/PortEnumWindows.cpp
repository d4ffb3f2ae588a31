// Serial ports on Windows: the device-setup interface for the devices and
// their registry properties, the device's hardware key for its port name, and
// an exclusive CreateFileA for whether a port is free.
//
// The device-setup functions are bound at run time from "SetupApi.dll", so
// the program starts on systems where that library cannot be loaded and then
// simply lists no ports. The binding is reference-counted: every listing
// holds it while it runs and the library is unloaded when the last lets go.

#ifdef _WIN32

#include "diag/PortEnumBackend.h"

#include <windows.h>

#include <setupapi.h>

#include <exception>
#include <mutex>

namespace {

class TSetupApi {
public:
    decltype(&::SetupDiClassGuidsFromNameA) ClassGuidsFromName = nullptr;
    decltype(&::SetupDiGetClassDevsA) GetClassDevs = nullptr;
    decltype(&::SetupDiEnumDeviceInfo) EnumDeviceInfo = nullptr;
    decltype(&::SetupDiOpenDevRegKey) OpenDevRegKey = nullptr;
    decltype(&::SetupDiGetDeviceRegistryPropertyA) GetDeviceRegistryProperty = nullptr;
    decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;

    // Loads and binds the library on the first acquisition. False when it
    // cannot be loaded or lacks a function; nothing is held then.
    bool Acquire() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == 0 && !Bind())
            return false;
        ++count_;
        return true;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ > 0 && --count_ == 0)
            Unbind();
    }

private:
    template <typename Function> bool Resolve(Function& Target, const char* Name) {
        // Through void(*)(), the one function type GCC lets any other be
        // cast to without a warning.
        Target = reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, Name)));
        return Target != nullptr;
    }

    bool Bind() {
        module_ = ::LoadLibraryA("SetupApi.dll");
        if (!module_)
            return false;
        if (Resolve(ClassGuidsFromName, "SetupDiClassGuidsFromNameA") &&
            Resolve(GetClassDevs, "SetupDiGetClassDevsA") &&
            Resolve(EnumDeviceInfo, "SetupDiEnumDeviceInfo") &&
            Resolve(OpenDevRegKey, "SetupDiOpenDevRegKey") &&
            Resolve(GetDeviceRegistryProperty, "SetupDiGetDeviceRegistryPropertyA") &&
            Resolve(DestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList"))
            return true;
        Unbind();
        return false;
    }

    void Unbind() {
        if (module_)
            ::FreeLibrary(module_);
        module_ = nullptr;
        ClassGuidsFromName = nullptr;
        GetClassDevs = nullptr;
        EnumDeviceInfo = nullptr;
        OpenDevRegKey = nullptr;
        GetDeviceRegistryProperty = nullptr;
        DestroyDeviceInfoList = nullptr;
    }

    std::mutex mutex_;
    int count_ = 0;
    HMODULE module_ = nullptr;
};

TSetupApi& SetupApi() {
    static TSetupApi api;
    return api;
}

// Holds the binding for one listing.
class TSetupApiUse {
public:
    TSetupApiUse()
        : bound_(SetupApi().Acquire()) {}
    ~TSetupApiUse() {
        if (bound_)
            SetupApi().Release();
    }
    TSetupApiUse(const TSetupApiUse&) = delete;
    TSetupApiUse& operator=(const TSetupApiUse&) = delete;
    explicit operator bool() const { return bound_; }
    TSetupApi* operator->() const { return &SetupApi(); }

private:
    bool bound_;
};

// A device set, destroyed on every way out.
class TDeviceSet {
public:
    TDeviceSet(const TSetupApiUse& Api, HDEVINFO Set)
        : api_(Api)
        , set_(Set) {}
    ~TDeviceSet() {
        if (valid())
            api_->DestroyDeviceInfoList(set_);
    }
    TDeviceSet(const TDeviceSet&) = delete;
    TDeviceSet& operator=(const TDeviceSet&) = delete;
    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

private:
    const TSetupApiUse& api_;
    HDEVINFO set_;
};

// One device registry property as raw bytes; empty when missing, of zero
// size or unreadable. The caller cuts at the first zero and trims.
std::string GetDevRegProp(const TSetupApiUse& Api, HDEVINFO Set, SP_DEVINFO_DATA& Device,
                          DWORD Code) {
    try {
        DWORD size = 0;
        Api->GetDeviceRegistryProperty(Set, &Device, Code, nullptr, nullptr, 0, &size);
        if (size == 0)
            return {};
        std::string buffer(size, '\0');
        if (!Api->GetDeviceRegistryProperty(Set, &Device, Code, nullptr,
                                            reinterpret_cast<PBYTE>(buffer.data()), size, nullptr))
            return {};
        return buffer;
    } catch (const std::exception&) {
        // The Win32 calls throw nothing; a size too large to hold fails the
        // buffer (std::bad_alloc, std::length_error) and counts as unreadable.
        return {};
    }
}

// The "PortName" value of the device's hardware key, or empty.
std::string ReadPortName(const TSetupApiUse& Api, HDEVINFO Set, SP_DEVINFO_DATA& Device) {
    const HKEY key = Api->OpenDevRegKey(Set, &Device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || key == nullptr)
        return {};
    std::string name;
    DWORD longestValue = 0;
    if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &longestValue, nullptr, nullptr) == ERROR_SUCCESS) {
        // One byte more than the longest value, all zero: a value stored
        // without its terminating zero still reads as a terminated text.
        std::string buffer(static_cast<std::size_t>(longestValue) + 1, '\0');
        DWORD size = longestValue;
        DWORD type = 0;
        if (::RegQueryValueExA(key, "PortName", nullptr, &type,
                               reinterpret_cast<LPBYTE>(buffer.data()), &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ))
            name = buffer.c_str();
    }
    ::RegCloseKey(key);
    return name;
}

std::vector<TPortDevice> ListDevices(const TSetupApiUse& Api, HDEVINFO Set) {
    std::vector<TPortDevice> devices;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; Api->EnumDeviceInfo(Set, index, &device); ++index) {
        TPortDevice entry;
        for (DWORD code = 0; code < DevRegPropCount; ++code)
            entry.Props[code] = GetDevRegProp(Api, Set, device, code);
        entry.PortName = ReadPortName(Api, Set, device);
        devices.push_back(std::move(entry));
    }
    return devices;
}

class TWindowsPortEnumBackend final : public TPortEnumBackend {
public:
    std::vector<TPortDevice> PortClassDevices() override {
        const TSetupApiUse api;
        if (!api)
            return {};
        GUID first{};
        DWORD required = 0;
        if (!api->ClassGuidsFromName("Ports", &first, 1, &required)) {
            // More than one class of that name: ask for all, take the first.
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0)
                return {};
            std::vector<GUID> all(required);
            if (!api->ClassGuidsFromName("Ports", all.data(), required, &required))
                return {};
            first = all.front();
        } else if (required == 0) {
            return {};
        }
        const TDeviceSet set(api, api->GetClassDevs(&first, nullptr, nullptr, DIGCF_PRESENT));
        return set.valid() ? ListDevices(api, set.get()) : std::vector<TPortDevice>();
    }

    std::vector<TPortDevice> AllDevices(bool IncludeAbsent) override {
        const TSetupApiUse api;
        if (!api)
            return {};
        const DWORD flags = IncludeAbsent ? DIGCF_ALLCLASSES : DIGCF_ALLCLASSES | DIGCF_PRESENT;
        const TDeviceSet set(api, api->GetClassDevs(nullptr, nullptr, nullptr, flags));
        return set.valid() ? ListDevices(api, set.get()) : std::vector<TPortDevice>();
    }

    TPortState Probe(const std::string& PortName) override {
        const std::string path = "\\\\.\\" + PortName;
        const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
            return TPortState::Available;
        }
        switch (::GetLastError()) {
        case ERROR_ACCESS_DENIED: // a COM port is "access denied" while another handle has it
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return TPortState::Held;
        default:
            return TPortState::Absent;
        }
    }
};

} // namespace

std::unique_ptr<TPortEnumBackend> MakeSystemPortEnumBackend() {
    return std::make_unique<TWindowsPortEnumBackend>();
}

#endif // _WIN32
