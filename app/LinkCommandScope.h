#pragma once
// A command of the main window that talks to the handbox (a port selection,
// a rate check or change, a run, the close check), for as long as it runs:
// "Run" and the link's other menu commands are off meanwhile, so that no
// second conversation starts under it, and the status line says why.

#include "app/Dump.h"

class TFHexvac::LinkCommandScope {
public:
    // Note: what the status line says while the command runs (empty: the
    // link status as usual).
    LinkCommandScope(TFHexvac& Window, const QString& Note)
        : window_(Window)
        , previousNote_(Window.busyNote_) {
        ++window_.linkCommands_;
        window_.resultNote_.clear();
        window_.busyNote_ = Note;
        window_.UpdateCommands();
    }
    ~LinkCommandScope() {
        --window_.linkCommands_;
        window_.busyNote_ = previousNote_;
        window_.UpdateCommands();
    }
    LinkCommandScope(const LinkCommandScope&) = delete;
    LinkCommandScope& operator=(const LinkCommandScope&) = delete;

private:
    TFHexvac& window_;
    QString previousNote_;
};
