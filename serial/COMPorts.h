#pragma once
// The port inventory: the main window's two run-time menus ("Scope Sources"
// and "Set Baud Rate") and the link status panel, registered once when the
// window is created and kept in step with the machine and the handbox.

#include "common/MenuItem.h"

#include <QString>
#include <functional>

class TApdComPort;
class TStatusPanel;

// Stores the source and baud menu roots and the click handlers every source
// and baud item gets when the menus are rebuilt.
void RegisterMenus(TMenuItem* SourceMenu, TMenuItem* BaudMenu, TMenuItem::ClickHandler BaudHandler,
                   TMenuItem::ClickHandler SourceHandler);

// Stores the panel that shows the link status text.
void RegisterStatusPanel(TStatusPanel* Panel);

// Everything the port inventory keeps between calls, in one record: what
// the main window and port selection registered (null or empty until they
// do), and the state of the menus it built.
struct TPortMenus {
    TMenuItem* SourceMenu = nullptr;
    TMenuItem* BaudMenu = nullptr;
    TMenuItem::ClickHandler SourceHandler;
    TMenuItem::ClickHandler BaudHandler;
    // Where the link status text comes from (port selection registers it).
    // Until one is registered the status panel is left as it is.
    std::function<QString(TApdComPort&)> StatusText;
    // True except while RefreshPorts runs: a port that exists but is held
    // by someone (this program included) then counts as available.
    bool CountInUseAsAvailable = true;
    // The "AutoDetect" item of the last BuildPorts and the source menu it
    // was built in: once another menu (or none) is registered, the item may
    // be gone with its window. AutoDetectItem() tells.
    TMenuItem* BuiltAutoDetect = nullptr;
    const TMenuItem* BuiltAutoDetectIn = nullptr;
};
// The one record of the port inventory.
TPortMenus& RegisteredMenus();

// Sets RegisteredMenus().StatusText.
void RegisterStatusText(std::function<QString(TApdComPort&)> StatusText);

// Takes the port's rate as CurrentBaud, enables the baud items the handbox
// can use (raising MaxBaud to the highest), checks the item of the port's
// rate, and writes the link status text into the status panel.
void RefreshPortStatus(TApdComPort& Port);

// The selected port is still there: it is open and its device has not gone,
// or, closed, its device exists.
bool IsPortStillThere(TApdComPort& Port);

// ---- The "Scope Sources" and "Set Baud Rate" menus ---------------------------------

// Whether COM<Number> can be opened now (or, with
// RegisteredMenus().CountInUseAsAvailable, is merely held).
bool IsPortAvailable(int Number);

// Rebuilds the source menu: "Temp Free", "None", one item per port in port
// order, "AutoDetect", a separator and "Get COM ports Details". PortsText
// receives "Ports Found " followed by ",COM<n>" for every port item.
void BuildPorts(TApdComPort& Port, QString& PortsText);

// Enables each port item by availability; the port this program holds stays
// enabled.
void RefreshPorts(TApdComPort& Port);

// Selects and opens COM<Number> (throws EPortError when it cannot be opened)
// and rebuilds the baud menu from the rates its driver can be set to.
void BuildBaudMenu(TApdComPort& Port, int Number);

// The "AutoDetect" item of the last BuildPorts, or null.
TMenuItem* AutoDetectItem();
