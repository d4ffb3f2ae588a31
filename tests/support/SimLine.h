#pragma once
// Lines for tests that talk to a handbox over a pseudo-terminal: a simulated
// handbox serving on a virtual port (which the program opens itself), the
// same with our serial port open on it, or a scripted peer with our port open
// on it; each with the exchange's timers and events in place.

#include "serial/ApdComPort.h"
#include "serial/Exchange.h"
#include "sim/PtyHost.h"
#include "tests/support/ScriptedPeer.h"

#include <QString>
#include <QtGlobal>
#include <memory>

// A simulated handbox on its own virtual port; the program opens the port.
class SimHandbox {
public:
    explicit SimHandbox(HandboxSettings Settings = {}, LineOptions Options = {},
                        std::unique_ptr<HandboxMemory> Memory = nullptr);
    ~SimHandbox();
    // Opens the virtual port and serves on it; false with Error set when it cannot.
    bool Start(QString& Error);
    int PortNumber() const { return host_->PortNumber(); }
    PtyHost& Host() { return *host_; }

private:
    std::unique_ptr<PtyHost> host_;
};

// A simulated handbox and our port open on it.
class SimLine {
public:
    // ModelText is what the port's bytes-available events are handled with
    // (the program passes PortEventsModelText).
    explicit SimLine(HandboxSettings Settings = {}, LineOptions Options = {},
                     std::unique_ptr<HandboxMemory> Memory = nullptr,
                     QString ModelText = PortEventsModelText);
    ~SimLine();

    // Opens the line; false with Error set when the simulator or the port fails.
    bool Start(QString& Error);

    PtyHost& Host() { return handbox_.Host(); }
    TApdComPort Port;

private:
    SimHandbox handbox_;
    QString modelText_;
};

// A scripted peer and our port open on it. Script the peer's answers before
// Start; a rate set on Port before Start is the one it opens at.
struct PeerLine {
    ScriptedPeer Peer;
    TApdComPort Port;
    bool Start(QString& Error);
};

// Starts Line (any of the above); false, with the reason logged, when it
// cannot be had.
template <class Line> bool StartLine(Line& L) {
    QString error;
    if (L.Start(error))
        return true;
    qWarning("line not started: %s", qPrintable(error));
    return false;
}

// The port's log as its view shows it: blanks written as "[20]" read as blanks.
QString LogText(const TApdComPort& Port);

// Points the virtual ports folder at a private temporary folder for the
// whole test executable, so parallel test programs never meet.
void UsePrivateVirtualPortsFolder();
