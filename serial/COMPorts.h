#pragma once
// The port inventory: the main window's two run-time menus ("Scope Sources"
// and "Set Baud Rate") and the link status panel, registered once when the
// window is created and kept in step with the machine and the handbox.

#include "common/MenuItem.h"

class TStatusPanel;

// Stores the source and baud menu roots and the click handlers every source
// and baud item gets when the menus are rebuilt.
void RegisterMenus(TMenuItem* SourceMenu, TMenuItem* BaudMenu, TMenuItem::ClickHandler BaudHandler,
                   TMenuItem::ClickHandler SourceHandler);

// Stores the panel that shows the link status text.
void RegisterStatusPanel(TStatusPanel* Panel);

// What was registered; null or empty until the main window registers.
struct TPortMenus {
    TMenuItem* SourceMenu = nullptr;
    TMenuItem* BaudMenu = nullptr;
    TMenuItem::ClickHandler SourceHandler;
    TMenuItem::ClickHandler BaudHandler;
};
const TPortMenus& RegisteredMenus();
