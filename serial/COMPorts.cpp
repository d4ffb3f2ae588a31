#include "serial/COMPorts.h"

#include "common/StatusPanel.h"
#include "diag/PortEnum.h"
#include "link/StdDefs.h"
#include "serial/ApdComPort.h"

#include <QFileInfo>
#include <algorithm>
#include <array>

namespace {

// Rates a handbox that takes the baud-change command can be switched to;
// 115200 only for the fastest class of firmware.
constexpr std::array<int, 8> ChangeableRates = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600};
constexpr int FastestRate = 115200;

bool RateAllowed(int Rate) {
    if (Rate == 9600)
        return true;
    if (!AcceptsBaudChange(LinkState.HandboxKind))
        return false;
    if (Rate == FastestRate)
        return LinkState.BaudClass == bcFast;
    return std::find(ChangeableRates.begin(), ChangeableRates.end(), Rate) != ChangeableRates.end();
}

} // namespace

TPortMenus& RegisteredMenus() {
    static TPortMenus menus;
    return menus;
}

void RegisterMenus(TMenuItem* SourceMenu, TMenuItem* BaudMenu, TMenuItem::ClickHandler BaudHandler,
                   TMenuItem::ClickHandler SourceHandler) {
    TPortMenus& menus = RegisteredMenus();
    menus.SourceMenu = SourceMenu;
    menus.BaudMenu = BaudMenu;
    menus.BaudHandler = std::move(BaudHandler);
    menus.SourceHandler = std::move(SourceHandler);
}

void RegisterStatusPanel(TStatusPanel* Panel) {
    LinkState.StatusPanel = Panel;
}

void RegisterStatusText(std::function<QString(TApdComPort&)> StatusText) {
    RegisteredMenus().StatusText = std::move(StatusText);
}

void RefreshPortStatus(TApdComPort& Port) {
    const TPortMenus& menus = RegisteredMenus();
    LinkState.CurrentBaud = Port.Baud();
    TMenuItem* baudMenu = menus.BaudMenu;
    if (baudMenu) {
        for (int i = 0; i < baudMenu->Count(); ++i) {
            TMenuItem* item = baudMenu->Item(i);
            if (LinkState.ScopeFound) {
                const bool allowed = !item->IsSeparator() && RateAllowed(item->Tag());
                item->SetEnabled(allowed);
                if (allowed)
                    LinkState.MaxBaud = std::max(LinkState.MaxBaud, item->Tag());
            }
            item->SetChecked(item->Tag() == Port.Baud());
        }
    }
    if (LinkState.StatusPanel && menus.StatusText)
        LinkState.StatusPanel->SetText(menus.StatusText(Port));
}

bool IsPortStillThere(TApdComPort& Port) {
    if (Port.Lost())
        return false;
    // An open port learns of its device going away from the driver itself (a
    // hang-up or an I/O error closes it at once). Every exchange asks this,
    // and a look at the file system each time would only cost time.
    if (Port.Open())
        return true;
    const QString device = Port.DeviceName();
#ifdef Q_OS_WIN
    // COMn is a device of the system, not a file: the system says whether
    // it is there.
    return !device.isEmpty() &&
           PortEnumBackend().Probe(device.toStdString()) != TPortState::Absent;
#else
    return !device.isEmpty() && QFileInfo::exists(device);
#endif
}
