#pragma once
// Virtual serial ports: symbolic links named COM<n> in a per-user folder,
// each pointing at a pseudo-terminal or any tty. The simulated handbox
// registers itself there; the program's port enumeration lists what it finds
// there. Plain C++ and POSIX, no Qt, so a platform backend can use it too.

#include <string>

// The per-user folder of virtual ports: $XDG_RUNTIME_DIR/hexvac/ports, or
// /tmp/hexvac-<uid>/ports when that variable is unset or empty. Only the
// path: whether it exists or can be trusted is not checked.
std::string VirtualPortsFolder();

// One look at a virtual ports folder. Folder is trusted when it and its
// parent are real folders (not links) that belong to this user and that no
// one else can write to: anyone who could write there could point a COM<n>
// link at a device the program would then probe.
struct TVirtualPortsFolderCheck {
    // Something (a folder, a link, a file) is there under Folder's name.
    bool Present = false;
    // Why Folder is not trusted, or empty when it is: "it is a symbolic
    // link", "it is not owned by you", "it is writable by others", or the
    // same of its parent ("its parent /tmp/hexvac-0 is writable by its
    // group"); a folder that is not there gives "it does not exist".
    std::string Distrust;
    bool Trusted() const { return Distrust.empty(); }
};
TVirtualPortsFolderCheck CheckVirtualPortsFolder(const std::string& Folder);

// Creates the folder (and its parent) as needed, 0700, and checks it is
// trusted. Returns the folder, or an empty text with Error set.
std::string MakeVirtualPortsFolder(std::string& Error);

// The link of port N in Folder: Folder + "/COM" + N.
std::string VirtualPortLink(const std::string& Folder, int N);

// Port numbers a port (virtual or not) may take, COM1 to COM255, and where
// the simulator starts.
inline constexpr int LowestPortNumber = 1;
inline constexpr int HighestPortNumber = 255;
inline constexpr int FirstSimulatorPort = 200;
inline constexpr bool IsComNumber(int N) {
    return N >= LowestPortNumber && N <= HighestPortNumber;
}

// Links COM<N> in Folder to Target. N = 0 takes the first free number from
// FirstSimulatorPort up. A link left dangling (its target gone, as after a
// crash) is taken over; a live one never is. Returns the number, or -1 with
// Error set.
int RegisterVirtualPort(const std::string& Folder, int N, const std::string& Target,
                        std::string& Error);

// Removes the link at Link if it still points at Target, so that a port
// re-registered by someone else since is left alone.
void UnregisterVirtualPort(const std::string& Link, const std::string& Target);
