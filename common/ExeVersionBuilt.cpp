// Executables carry no version resource here: the program's own version,
// compiled in from the build's project version, stands in for it.

#include "common/ExeVersion.h"

#ifndef HEXVAC_VERSION
#define HEXVAC_VERSION ""
#endif

std::string ExecutableVersion(const std::string& /*Path*/) {
    return HEXVAC_VERSION;
}
