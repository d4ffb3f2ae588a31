#include "sim/Memory.h"

#include <algorithm>
#include <cstddef>

namespace {

// splitmix64's finaliser: every input bit reaches every output bit, so the
// bytes of consecutive addresses look unrelated.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

HandboxMemory::HandboxMemory(std::uint64_t Seed)
    : shared_(SharedSize)
    , banks_(static_cast<std::size_t>(PageCount) * BankSize) {
    Fill(Seed);
}

std::uint8_t HandboxMemory::PatternByte(std::uint64_t Seed, std::uint32_t FullAddress) {
    // The shared low memory has one content whatever page names it.
    if ((FullAddress & 0xFFFF) < SharedSize)
        FullAddress &= 0xFFFF;
    // Eight bytes per mix: mix the 8-byte group, then pick the byte.
    const std::uint64_t word = Mix(Mix(Seed) ^ (FullAddress >> 3));
    return static_cast<std::uint8_t>(word >> ((FullAddress & 7) * 8));
}

void HandboxMemory::Fill(std::uint64_t Seed) {
    for (std::uint32_t a = 0; a < SharedSize; ++a)
        shared_[a] = PatternByte(Seed, a);
    for (int page = 0; page < PageCount; ++page)
        for (std::uint32_t a = 0; a < BankSize; ++a)
            banks_[page * BankSize + a] = PatternByte(Seed, page * PageSize + SharedSize + a);
}

std::uint8_t HandboxMemory::At(int Page, std::uint16_t Address) const {
    if (Address < SharedSize)
        return shared_[Address];
    if (Page < 0 || Page >= PageCount)
        return 0xFF;
    return banks_[Page * BankSize + (Address - SharedSize)];
}

void HandboxMemory::Set(int Page, std::uint16_t Address, std::uint8_t Value) {
    if (Address < SharedSize)
        shared_[Address] = Value;
    else if (Page >= 0 && Page < PageCount)
        banks_[Page * BankSize + (Address - SharedSize)] = Value;
}

std::uint8_t HandboxMemory::AtFull(std::uint64_t FullAddress) const {
    if (FullAddress >= FullSize)
        return 0xFF;
    return At(static_cast<int>(FullAddress / PageSize), static_cast<std::uint16_t>(FullAddress));
}

void HandboxMemory::SetFull(std::uint64_t FullAddress, std::uint8_t Value) {
    if (FullAddress < FullSize)
        Set(static_cast<int>(FullAddress / PageSize), static_cast<std::uint16_t>(FullAddress),
            Value);
}

std::vector<std::uint8_t> HandboxMemory::Image() const {
    std::vector<std::uint8_t> image;
    image.reserve(FullSize);
    for (std::ptrdiff_t page = 0; page < PageCount; ++page) {
        image.insert(image.end(), shared_.begin(), shared_.end());
        const auto bank = banks_.begin() + page * BankSize;
        image.insert(image.end(), bank, bank + BankSize);
    }
    return image;
}

bool HandboxMemory::LoadImage(std::span<const std::uint8_t> Image) {
    if (Image.size() != FullSize)
        return false;
    std::copy_n(Image.begin(), SharedSize, shared_.begin());
    for (std::ptrdiff_t page = 0; page < PageCount; ++page) {
        const auto bank = Image.begin() + page * PageSize + SharedSize;
        std::copy_n(bank, BankSize, banks_.begin() + page * BankSize);
    }
    return true;
}
