#include "common/VirtualPorts.h"

// Virtual ports are links in a folder of the user's; Windows has real COM
// names for such ports instead, so there is nothing here for it.
#ifndef _WIN32

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ParentOf(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : Path.substr(0, slash);
}

// What keeps Path from being a private folder of this user, or empty.
// Present tells whether there is anything under that name to look at.
std::string FolderFault(const std::string& Path, bool& Present) {
    struct stat st {};
    Present = ::lstat(Path.c_str(), &st) == 0;
    if (!Present)
        return errno == ENOENT ? "does not exist"
                               : std::string("cannot be read: ") + std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "is not a folder";
    if (st.st_uid != ::getuid())
        return "is not owned by you";
    const bool group = (st.st_mode & S_IWGRP) != 0;
    const bool others = (st.st_mode & S_IWOTH) != 0;
    if (group && others)
        return "is writable by its group and by others";
    if (others)
        return "is writable by others";
    if (group)
        return "is writable by its group";
    return {};
}

bool MakeFolder(const std::string& Path, std::string& Error) {
    if (::mkdir(Path.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    Error = "cannot create " + Path + ": " + std::strerror(errno);
    return false;
}

// True when Link is a symbolic link whose target no longer exists.
bool IsDanglingLink(const std::string& Link) {
    struct stat st {};
    if (::lstat(Link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    return ::stat(Link.c_str(), &st) != 0 && errno == ENOENT;
}

} // namespace

std::string VirtualPortsFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/hexvac/ports";
    return "/tmp/hexvac-" + std::to_string(::getuid()) + "/ports";
}

TVirtualPortsFolderCheck CheckVirtualPortsFolder(const std::string& Folder) {
    TVirtualPortsFolderCheck check;
    if (const std::string fault = FolderFault(Folder, check.Present); !fault.empty()) {
        check.Distrust = "it " + fault;
        return check;
    }
    const std::string parent = ParentOf(Folder);
    bool parentPresent = false;
    if (const std::string fault = FolderFault(parent, parentPresent); !fault.empty())
        check.Distrust = "its parent " + parent + " " + fault;
    return check;
}

std::string MakeVirtualPortsFolder(std::string& Error) {
    const std::string folder = VirtualPortsFolder();
    if (!MakeFolder(ParentOf(folder), Error) || !MakeFolder(folder, Error))
        return {};
    if (const TVirtualPortsFolderCheck check = CheckVirtualPortsFolder(folder); !check.Trusted()) {
        Error = folder + " cannot be used: " + check.Distrust;
        return {};
    }
    return folder;
}

std::string VirtualPortLink(const std::string& Folder, int N) {
    return Folder + "/COM" + std::to_string(N);
}

int RegisterVirtualPort(const std::string& Folder, int N, const std::string& Target,
                        std::string& Error) {
    if (N != 0 && !IsComNumber(N)) {
        Error = "port number " + std::to_string(N) + " is outside 1-255";
        return -1;
    }
    const int first = N != 0 ? N : FirstSimulatorPort;
    const int last = N != 0 ? N : HighestPortNumber;
    for (int n = first; n <= last; ++n) {
        const std::string link = VirtualPortLink(Folder, n);
        // symlink() fails if the name exists, so two simulators starting at
        // once never take the same number.
        if (::symlink(Target.c_str(), link.c_str()) == 0)
            return n;
        if (errno == EEXIST && IsDanglingLink(link) && ::unlink(link.c_str()) == 0 &&
            ::symlink(Target.c_str(), link.c_str()) == 0)
            return n;
        if (errno != EEXIST) {
            Error = "cannot create " + link + ": " + std::strerror(errno);
            return -1;
        }
    }
    Error = N != 0 ? "COM" + std::to_string(N) + " is already registered in " + Folder
                   : "no free port number from " + std::to_string(FirstSimulatorPort) +
                         " to 255 in " + Folder;
    return -1;
}

void UnregisterVirtualPort(const std::string& Link, const std::string& Target) {
    char buffer[4096];
    const ssize_t n = ::readlink(Link.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == Target)
        ::unlink(Link.c_str());
}

#endif // _WIN32
