#pragma once
// Continuing a dump that did not complete, from its manifest: the same
// handbox, the same range, options and mode, from the first byte not yet
// in the file. Before it goes on, the run reads the file's last whole block
// again and compares; the zero-filled pieces the manifest names are read
// again too. At the end the manifest reads as if the dump had run in one
// go, with the continuations listed.

#include "link/DumpManifest.h"
#include "link/DumpRun.h"

#include <QString>
#include <optional>

class TApdComPort;

// Why the handbox found now (LinkState: kind, product name, firmware date)
// is not the one the manifest's dump was read from; empty when it is.
QString OtherHandboxReason(const TDumpManifest& Manifest);

// What the window asks about before "Run" starts a dump into FileName: the
// manifest of FileName when the file holds a dump that can be continued with
// the handbox identified now and the range Options describe (pages and
// low-memory options, as the window's "Run" has them; Verify is not
// compared: a continued dump keeps the manifest's). That is a dump whose
// manifest says "incomplete" (as a run that was killed leaves it) or
// "cancelled", read from this handbox (LinkState: kind, product name,
// firmware date), of that range, whose file is still there. Nothing
// otherwise, with Why saying what stands in the way. A dump whose handbox
// was lost or whose file could not be written is not offered: hexvac-dump
// --resume continues those on request. Continue it with ResumeDump.
std::optional<TDumpManifest> ResumableDump(const QString& FileName, const TDumpOptions& Options,
                                           QString* Why = nullptr);

// Continues the dump in FileName with the range, options and mode of its
// manifest: asks the handbox's mode, then reads on as RunDump would
// (entering and leaving download mode for a download-mode dump). It raises
// no rate and asks nothing: a caller that offers a faster rate does so
// before. The outcomes of RunDump, and two of its own that leave the file
// and the manifest untouched: OtherHandbox (another handbox, or no manifest
// of an unfinished dump: see Error) and NotThisDump (the file's last block
// is not this handbox's memory).
TDumpResult ResumeDump(TApdComPort& Port, const QString& FileName, TDumpFace& Face);
