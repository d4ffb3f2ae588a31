#pragma once
// The simulated handbox as tests set it up and read it: its settings or line
// options with one field changed, what its memory holds, and the
// download-mode command that reads a block of it.

#include "sim/Engine.h"
#include "sim/Memory.h"

#include <QByteArray>
#include <type_traits>

// Settings or options with one field changed: With(&LineOptions::HangAfter, 3).
template <class T, class V> T With(V T::*Field, std::type_identity_t<V> Value) {
    T changed;
    changed.*Field = Value;
    return changed;
}

inline HandboxSettings InDownloadMode() {
    return With(&HandboxSettings::DownloadMode, true);
}

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
