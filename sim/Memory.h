#pragma once
// The handbox's memory: 128 pages of 64 KiB. Addresses 0000-7FFF of a page
// are one low memory shared by all pages; 8000-FFFF are banked, one per page.
// A full address is page x 10000 hex + address within the page.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class HandboxMemory {
public:
    static constexpr int PageCount = 128;
    static constexpr std::uint32_t PageSize = 0x10000;
    static constexpr std::uint32_t SharedSize = 0x8000;
    static constexpr std::uint32_t BankSize = PageSize - SharedSize;
    // Full addresses run from 0 to FullSize - 1; an image file has this size.
    static constexpr std::uint32_t FullSize = PageCount * PageSize;

    // Filled from Seed (see Fill).
    explicit HandboxMemory(std::uint64_t Seed = 1);

    // Every byte a function of Seed and its full address, mixed so that
    // neighbouring addresses, pages and seeds share no visible pattern: a byte
    // read from the wrong address, page or offset does not match.
    void Fill(std::uint64_t Seed);

    // The byte a given seed puts at a full address, for checking without a
    // HandboxMemory at hand.
    static std::uint8_t PatternByte(std::uint64_t Seed, std::uint32_t FullAddress);

    std::uint8_t At(int Page, std::uint16_t Address) const;
    void Set(int Page, std::uint16_t Address, std::uint8_t Value);

    // Full addresses at or past FullSize read as FF (nothing on the bus) and
    // ignore writes.
    std::uint8_t AtFull(std::uint64_t FullAddress) const;
    void SetFull(std::uint64_t FullAddress, std::uint8_t Value);

    // The image as a file holds it: page after page, each of 64 KiB with the
    // shared low memory repeated in it.
    std::vector<std::uint8_t> Image() const;

    // Takes an image of exactly FullSize bytes; the shared low memory comes
    // from page 0. False (memory unchanged) for any other size.
    bool LoadImage(std::span<const std::uint8_t> Image);

    // Same bytes at every address.
    bool operator==(const HandboxMemory& Other) const = default;

private:
    std::vector<std::uint8_t> shared_; // SharedSize bytes
    std::vector<std::uint8_t> banks_;  // PageCount x BankSize bytes
};

// Reads an image file into Memory. False, with Error set, when the file
// cannot be read or is not exactly HandboxMemory::FullSize bytes.
bool LoadImageFile(const std::string& Path, HandboxMemory& Memory, std::string& Error);

// Writes Memory's image to Path. False, with Error set, on any write failure.
bool SaveImageFile(const std::string& Path, const HandboxMemory& Memory, std::string& Error);
