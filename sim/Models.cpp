#include "sim/Models.h"

#include <array>

namespace {

// Autostar dates: the 495 before the 29 Jun 2004 rate upgrade, the 497 after
// it, the mkII after 1 Aug 2008 (which is how the program tells it from a
// 497). The LX2001 date is past 19 Sep 2005, so it offers 115200 baud.
//
// The 494 answers a product name that does not begin "Auto": in normal mode
// the program does not take it for a 495/497 and so never tries to read it,
// as it does not read 494s. The RCX400 and the 1697 answer "T" with codes the
// program does not know, as the real ones do.
constexpr std::array<ModelInfo, 7> Models = {{
    {HandboxModel::Autostar494, "494", "Autostar 494", "494 Autostar", "Mar 14 2002", 'A', 7, false,
     false, -1, 0},
    {HandboxModel::Autostar495, "495", "Autostar 495", "Autostar", "Apr 18 2003", 'A', 10, false,
     false, 64, 0x3C37},
    {HandboxModel::Autostar497, "497", "Autostar 497", "Autostar", "Sep 18 2006", 'A', 15, false,
     false, 64, 0x3C37},
    {HandboxModel::Autostar497Mk2, "497mk2", "Autostar 497 mkII", "Autostar", "Jan 20 2010", 'A',
     31, false, false, -1, 0},
    {HandboxModel::Lx200Gps, "lx2001", "LX200GPS", "LX2001", "Oct 21 2005", 'A', 14, true, true, 96,
     0x3730},
    {HandboxModel::Rcx400, "rcx400", "RCX400", "RCX400", "Mar 08 2006", 'A', 19, true, false, 96,
     0x3730},
    {HandboxModel::GermanMount1697, "1697", "1697 German mount", "1697CDS", "Feb 02 2001", 'G', 23,
     false, false, -1, 0},
}};

} // namespace

std::span<const ModelInfo> AllModels() {
    return Models;
}

const ModelInfo& InfoOf(HandboxModel Model) {
    for (const ModelInfo& info : Models)
        if (info.Model == Model)
            return info;
    return Models[2]; // unreachable: every enumerator has a row
}

const ModelInfo* FindModel(std::string_view Name) {
    for (const ModelInfo& info : Models)
        if (info.OptionName == Name)
            return &info;
    return nullptr;
}
