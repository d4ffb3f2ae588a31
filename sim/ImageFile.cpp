// Image files: the only file I/O of the simulated handbox's memory, kept
// apart so the protocol engine itself never touches the file system.

#include "sim/Memory.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

bool LoadImageFile(const std::string& Path, HandboxMemory& Memory, std::string& Error) {
    std::ifstream in(Path, std::ios::binary);
    if (!in) {
        Error = "cannot read image " + Path + ": " + std::strerror(errno);
        return false;
    }
    // Read one byte past the expected size so an oversized file is caught
    // without reading all of it.
    std::vector<std::uint8_t> image(HandboxMemory::FullSize + 1);
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (in.bad()) {
        Error = "cannot read image " + Path;
        return false;
    }
    image.resize(static_cast<std::size_t>(in.gcount()));
    if (!Memory.LoadImage(image)) {
        Error = "image " + Path + " is not " + std::to_string(HandboxMemory::FullSize) +
                " bytes (128 pages of 64 KiB)";
        return false;
    }
    return true;
}

bool SaveImageFile(const std::string& Path, const HandboxMemory& Memory, std::string& Error) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    if (!out) {
        Error = "cannot create image " + Path + ": " + std::strerror(errno);
        return false;
    }
    const std::vector<std::uint8_t> image = Memory.Image();
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        Error = "cannot write image " + Path;
        return false;
    }
    return true;
}
