// Where each byte of a dump file comes from: the low memory once, if asked
// for, then each page's upper half (or, in download mode from a 497 mkII,
// the whole page), in address order.

#include "link/DumpRun.h"

#include "link/StdDefs.h"

#include <algorithm>

namespace {

constexpr qint64 PageBytes = 0x10000;
constexpr qint64 HalfPage = 0x8000;

// Whole pages: download mode from a 497 mkII without the low memory.
bool WholePages(const TDumpOptions& Options, std::uint8_t Kind, int DataMode) {
    return DataMode == 1 && (Kind == htAutostar497mkII || Kind == htMkIIDnld) &&
           !Options.IncludeLow;
}

} // namespace

TDumpOptions EffectiveDumpOptions(const TDumpOptions& Options) {
    TDumpOptions options = Options;
    if (options.LowOnly) {
        options.IncludeLow = true;
        options.ToPage = options.FromPage;
    }
    return options;
}

qint64 DumpBytes(const TDumpOptions& Options, std::uint8_t Kind, int DataMode) {
    const TDumpOptions options = EffectiveDumpOptions(Options);
    if (options.LowOnly)
        return HalfPage;
    const qint64 pages = std::max(0, options.ToPage - options.FromPage + 1);
    return pages * (WholePages(options, Kind, DataMode) ? PageBytes : HalfPage) +
           (options.IncludeLow ? HalfPage : 0);
}

qint64 DumpAddressAt(const TDumpOptions& Options, std::uint8_t Kind, int DataMode, qint64 Offset) {
    const TDumpOptions options = EffectiveDumpOptions(Options);
    const qint64 first = qint64(options.FromPage) * PageBytes;
    if (options.IncludeLow) {
        if (Offset < HalfPage)
            return first + Offset;
        Offset -= HalfPage;
    }
    if (WholePages(options, Kind, DataMode))
        return first + Offset;
    return first + (Offset / HalfPage) * PageBytes + HalfPage + Offset % HalfPage;
}
