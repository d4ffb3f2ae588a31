#pragma once
// The simulated handbox's bytes as tests compare them: what its memory holds,
// and the download-mode command that reads a block of it.

#include "sim/Memory.h"

#include <QByteArray>

// The bytes Memory holds from (Page, Address) on, wrapping within the page.
inline QByteArray MemoryBytes(const HandboxMemory& Memory, int Page, int Address, int Count) {
    QByteArray bytes;
    for (int i = 0; i < Count; ++i)
        bytes.append(char(Memory.At(Page, std::uint16_t(Address + i))));
    return bytes;
}

// "R", the page, the address's high and low byte, and the count.
inline QByteArray BlockRead(int Page, int High, int Low, int Count) {
    return QByteArray("R") + char(Page) + char(High) + char(Low) + char(Count);
}
