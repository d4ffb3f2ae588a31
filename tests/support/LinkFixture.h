#pragma once
// What a test class that talks to a handbox sets up around every test
// function: a scripted user interface, the link state as at start-up, the
// time scale, a private virtual ports folder, on request a machine whose
// only serial ports are those the test lists, and exchange hooks that count
// the detection restarts and reacquisitions a time-out asks for. The class
// holds one, calls Begin() from init() and End() from cleanup(); End() puts
// back what Begin() found.
//
// Tests reach the exchange's own state only through the helpers here, so
// that where that state lives is known in one place.

#include "serial/Exchange.h"
#include "tests/support/FakePorts.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/SimLine.h"

#include <functional>
#include <memory>

class LinkFixture {
public:
    enum PortList { MachinePorts, FakePorts };
    // TimeScale: percent of every fixed wait's real length. FakePorts: a
    // machine whose serial ports are only those added to Ports().
    void Begin(int TimeScale, PortList Ports = MachinePorts);
    void End();

    // Starts a line of SimLine.h for a test; false when it cannot be had.
    template <class Line> bool Start(Line& L) { return StartLine(L); }

    FakePortBackend& Ports() { return ports_->Ports(); }

    // Whether Port's next reply time-out is still to be silent.
    static bool QuietTimeoutPending(const TApdComPort& Port);
    // Makes Port's next reply time-out silent, as a probe does.
    static void MakeNextTimeoutQuiet(TApdComPort& Port);
    // Asks for a detection restart as a late time-out would.
    static void RestartDetection();

    ScriptedUiHost Ui;
    int Restarts = 0;   // detection restarts asked for
    int Identifies = 0; // reacquisitions asked for
    // What a reacquisition does besides being counted: nothing when empty.
    std::function<void(TApdComPort&)> Identify;

private:
    UiHost* previousUi_ = nullptr;
    TExchangeHooks previousHooks_;
    std::unique_ptr<ScopedFakePorts> ports_;
};
