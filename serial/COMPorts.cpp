#include "serial/COMPorts.h"

#include "link/StdDefs.h"

namespace {
TPortMenus menus;
}

void RegisterMenus(TMenuItem* SourceMenu, TMenuItem* BaudMenu, TMenuItem::ClickHandler BaudHandler,
                   TMenuItem::ClickHandler SourceHandler) {
    menus.SourceMenu = SourceMenu;
    menus.BaudMenu = BaudMenu;
    menus.BaudHandler = std::move(BaudHandler);
    menus.SourceHandler = std::move(SourceHandler);
}

void RegisterStatusPanel(TStatusPanel* Panel) {
    LinkState.StatusPanel = Panel;
}

const TPortMenus& RegisteredMenus() {
    return menus;
}
