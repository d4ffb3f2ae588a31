// Lists the serial ports the Windows backend finds, one per line. Built with
// mingw-w64 by a test so the backend always compiles and links for Windows;
// run under Wine or on Windows it shows what the backend sees.

#include "diag/PortEnumBackend.h"

#include <cstdio>

int main() {
    const auto backend = MakeSystemPortEnumBackend();
    for (const TPortDevice& device : backend->PortClassDevices()) {
        const char* state = backend->Probe(device.PortName) == TPortState::Available ? "free" : "-";
        std::printf("%s\t%s\t%s\n", device.PortName.c_str(), device.Props[12].c_str(), state);
    }
    return 0;
}
