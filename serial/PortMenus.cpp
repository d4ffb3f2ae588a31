// The "Scope Sources" menu with one item per serial port, and the
// "Set Baud Rate" menu with the rates the open port's driver can be set to.

#include "serial/COMPorts.h"

#include "common/StdFuncsMisc.h"
#include "common/VirtualPorts.h"
#include "diag/PortEnum.h"
#include "serial/ApdComPort.h"

#include <algorithm>
#include <array>
#include <exception>

namespace {

// The fixed items of the source menu.
constexpr int TempFreeTag = 998;
constexpr int NoneTag = -1;
constexpr int AutoDetectTag = 999;
constexpr int DetailsTag = 500;
constexpr int HighestPort = HighestPortNumber;

// The rates the baud menu offers, in menu order: the usual ones first, then,
// after a separator, the rarer ones.
constexpr std::array<int, 9> UsualRates = {1200,  2400,  4800,  9600,  14400,
                                           19200, 38400, 57600, 115200};
constexpr std::array<int, 9> RareRates = {75, 110, 150, 300, 600, 1800, 7200, 56000, 128000};

bool IsPortTag(int tag) {
    return tag > 0 && tag <= HighestPort;
}

// "COM5\t: USB Serial Port (COM5)\t - ( Available )" as a menu item: the
// port number, and the text from the ":" on, cut before any "(CO".
struct PortLine {
    int number;
    QString description;
};

PortLine ParsePortLine(const QString& line) {
    int number = 0;
    if (line.startsWith(QLatin1String("COM")))
        number = line.mid(3, 3).section(QLatin1Char('\t'), 0, 0).trimmed().toInt();
    QString description = line.mid(std::max<qsizetype>(0, line.indexOf(QLatin1Char(':'))));
    // A friendly name ending in "(COM5)" is cut there, and the availability
    // mark after it with it; names without one (Linux's) lose the mark alone.
    for (const QString& end : {QStringLiteral("(CO"), AvailableMark}) {
        const qsizetype cut = description.indexOf(end);
        if (cut >= 0)
            description.truncate(cut);
    }
    return {number, description.trimmed()};
}

} // namespace

bool IsPortAvailable(int Number) {
    if (Number <= 0)
        return false;
    switch (PortEnumBackend().Probe("COM" + std::to_string(Number))) {
    case TPortState::Available:
        return true;
    case TPortState::Held:
        return RegisteredMenus().CountInUseAsAvailable;
    case TPortState::Absent:
    case TPortState::NoPermission:
        break;
    }
    return false;
}

TMenuItem* AutoDetectItem() {
    const TPortMenus& menus = RegisteredMenus();
    return menus.BuiltAutoDetectIn == menus.SourceMenu ? menus.BuiltAutoDetect : nullptr;
}

void BuildPorts(TApdComPort& Port, QString& PortsText) {
    TPortMenus& menus = RegisteredMenus();
    TMenuItem* source = menus.SourceMenu;
    PortsText = QStringLiteral("Ports Found ");
    if (!source)
        return;
    menus.BuiltAutoDetect = nullptr;
    menus.BuiltAutoDetectIn = source;
    source->Clear();
    if (menus.BaudMenu)
        menus.BaudMenu->Clear();
    source->Add(QStringLiteral("Temp Free"), TempFreeTag, menus.SourceHandler);
    source->Add(QStringLiteral("None"), NoneTag, menus.SourceHandler);

    auto addPort = [&](int number, const QString& description) {
        source->Add(QStringLiteral("COM%1").arg(number) + description, number, menus.SourceHandler);
        PortsText += QStringLiteral(",COM%1").arg(number);
    };

    TPortList list;
    GetPortsClassList(list);
    // The log says why simulated handboxes may be missing from the list.
    if (const QString note = IgnoredPortsFolderNote(); !note.isEmpty())
        PortsText = note + QLatin1Char(' ') + PortsText;
    if (list.empty()) {
        // No port class at all: try every number.
        menus.CountInUseAsAvailable = true;
        for (int n = 1; n <= HighestPort; ++n) {
            try {
                if (IsPortAvailable(n))
                    addPort(n, QString());
            } catch (const std::exception&) {
                // The backend's probe fails only with a standard exception
                // (a file system or allocation error); the next number may
                // still be probed.
                ShowPlainMessage(QStringLiteral("Error in BuildPorts for COM%1").arg(n));
            }
        }
    } else {
        std::vector<PortLine> ports;
        for (const TPortListLine& line : list)
            ports.push_back(ParsePortLine(line.Text));
        // In port order (lines without a port number first, as their key is blank).
        std::stable_sort(ports.begin(), ports.end(),
                         [](const PortLine& a, const PortLine& b) { return a.number < b.number; });
        for (const PortLine& p : ports)
            addPort(p.number, p.description);
    }
    menus.BuiltAutoDetect =
        source->Add(QStringLiteral("AutoDetect"), AutoDetectTag, menus.SourceHandler);
    source->Add(QStringLiteral("-"), 0);
    source->Add(QStringLiteral("Get COM ports Details"), DetailsTag, menus.SourceHandler);
    RefreshPorts(Port);
}

void RefreshPorts(TApdComPort& Port) {
    TPortMenus& menus = RegisteredMenus();
    TMenuItem* source = menus.SourceMenu;
    if (!source)
        return;
    menus.CountInUseAsAvailable = false;
    int number = 0;
    try {
        for (int i = 0; i < source->Count(); ++i) {
            TMenuItem* item = source->Item(i);
            number = item->Tag();
            if (!IsPortTag(number))
                continue;
            const bool ours = Port.Open() && number == Port.ComNumber();
            item->SetEnabled(ours || IsPortAvailable(number));
        }
    } catch (const std::exception&) {
        // A probe fails only with a standard exception (a file system or
        // allocation error); the port it was about is named.
        menus.CountInUseAsAvailable = true;
        ShowPlainMessage(QStringLiteral("Error in RefreshPorts for COM%1").arg(number));
        return;
    }
    menus.CountInUseAsAvailable = true;
}

void BuildBaudMenu(TApdComPort& Port, int Number) {
    Port.SetComNumber(Number);
    if (!Port.Open())
        Port.SetOpen(true);
    const TPortMenus& menus = RegisteredMenus();
    if (TMenuItem* baud = menus.BaudMenu) {
        baud->Clear();
        if (!Port.Open()) {
            ShowPlainMessage(QStringLiteral("Failed to get Possible Bauds for COM%1").arg(Number));
        } else {
            auto addRate = [&](int rate) {
                baud->Add(QString::number(rate), rate, menus.BaudHandler)->SetRadioItem(true);
            };
            std::vector<int> rare;
            for (int rate : UsualRates)
                if (Port.CanSetBaud(rate))
                    addRate(rate);
            for (int rate : RareRates)
                if (Port.CanSetBaud(rate))
                    rare.push_back(rate);
            if (!rare.empty())
                baud->Add(QStringLiteral("-"), 0);
            for (int rate : rare)
                addRate(rate);
        }
    }
    RefreshPortStatus(Port);
}
