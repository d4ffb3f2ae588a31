#pragma once
// A simulated handbox on a pseudo-terminal and our serial port open on it,
// with the exchange's timers and events in place: the set-up of every test
// that talks to a handbox over a real line.

#include "serial/ApdComPort.h"
#include "sim/PtyHost.h"

#include <QString>
#include <memory>

class SimLine {
public:
    // ModelText is what the port's bytes-available events are handled with
    // (the program passes "ert").
    explicit SimLine(HandboxSettings Settings = {}, LineOptions Options = {},
                     std::unique_ptr<HandboxMemory> Memory = nullptr,
                     QString ModelText = QStringLiteral("ert"));
    ~SimLine();

    // Opens the line; false with Error set when the simulator or the port fails.
    bool Start(QString& Error);

    PtyHost& Host() { return *host_; }
    TApdComPort Port;

private:
    std::unique_ptr<PtyHost> host_;
    QString modelText_;
};

// The port's log as its view shows it: blanks written as "[20]" read as blanks.
QString LogText(const TApdComPort& Port);

// Opens Port on a peer's virtual port with the exchange in place; false when
// either cannot be had.
class ScriptedPeer;
bool OpenOnPeer(TApdComPort& Port, ScriptedPeer& Peer);

// Points the virtual ports folder at a private temporary folder for the
// whole test executable, so parallel test programs never meet.
void UsePrivateVirtualPortsFolder();
