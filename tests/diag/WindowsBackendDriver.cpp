// Lists the serial ports the Windows backend finds, one per line, each
// followed by what the report backend reads of it. Built with mingw-w64 by a
// test so both backends always compile and link for Windows; run under Wine
// or on Windows it shows what they see. Port names given as arguments are
// read as well (Wine's device-setup interface lists no ports).

#include "diag/PortEnumBackend.h"
#include "diag/PortPropsBackend.h"

#include <cstdio>
#include <string>

namespace {

void PrintRecords(TPortPropsBackend& Backend, const std::string& PortName) {
    std::printf("  target\t%s\n", Backend.DeviceTarget(PortName).c_str());
    TPortRecords records;
    if (!Backend.ReadPortRecords(PortName, records)) {
        std::printf("  no handle\n");
        return;
    }
    if (const auto& config = records.Config) {
        const TDcb& dcb = config->dcb;
        std::printf("  config\tsize %u version %u subtype %u\n", unsigned(config->dwSize),
                    unsigned(config->wVersion), unsigned(config->dwProviderSubType));
        std::printf("  dcb\t%u baud, %u bits, parity %u, stop %u, flags %08X, xon %02X xoff %02X\n",
                    unsigned(dcb.BaudRate), unsigned(dcb.ByteSize), unsigned(dcb.Parity),
                    unsigned(dcb.StopBits), unsigned(dcb.Flags), unsigned(dcb.XonChar),
                    unsigned(dcb.XoffChar));
    } else {
        std::printf("  no config\n");
    }
    if (const auto& prop = records.Prop)
        std::printf("  prop\tservice %u subtype %u max baud %08X bauds %08X caps %08X\n",
                    unsigned(prop->dwServiceMask), unsigned(prop->dwProvSubType),
                    unsigned(prop->dwMaxBaud), unsigned(prop->dwSettableBaud),
                    unsigned(prop->dwProvCapabilities));
    else
        std::printf("  no prop\n");
    if (const auto& timeouts = records.Timeouts)
        std::printf("  timeouts\t%u %u %u %u %u\n", unsigned(timeouts->ReadIntervalTimeout),
                    unsigned(timeouts->ReadTotalTimeoutMultiplier),
                    unsigned(timeouts->ReadTotalTimeoutConstant),
                    unsigned(timeouts->WriteTotalTimeoutMultiplier),
                    unsigned(timeouts->WriteTotalTimeoutConstant));
    else
        std::printf("  no timeouts\n");
}

} // namespace

int main(int argc, char** argv) {
    const auto backend = MakeSystemPortEnumBackend();
    const auto props = MakeSystemPortPropsBackend();
    for (const TPortDevice& device : backend->PortClassDevices()) {
        const char* state = backend->Probe(device.PortName) == TPortState::Available ? "free" : "-";
        std::printf("%s\t%s\t%s\n", device.PortName.c_str(), device.Props[12].c_str(), state);
        PrintRecords(*props, device.PortName);
    }
    for (int i = 1; i < argc; ++i) {
        std::printf("%s\n", argv[i]);
        PrintRecords(*props, argv[i]);
    }
    return 0;
}
