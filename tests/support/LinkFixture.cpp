#include "tests/support/LinkFixture.h"

#include "common/Timing.h"
#include "link/StdDefs.h"
#include "serial/ApdComPort.h"

void LinkFixture::Begin(int TimeScale, PortList Ports) {
    UsePrivateVirtualPortsFolder();
    Timing::SetTestScale(TimeScale);
    Ui.Clear();
    previousUi_ = InstallUiHost(&Ui);
    if (Ports == FakePorts)
        ports_ = std::make_unique<ScopedFakePorts>();
    ResetLinkState();
    Restarts = Identifies = 0;
    previousHooks_ = ExchangeHooks();
    SetExchangeHooks({[this](TApdComPort& Port) {
                          ++Identifies;
                          if (Identify)
                              Identify(Port);
                      },
                      [this] {
                          ++Restarts;
                      }});
}

void LinkFixture::End() {
    SetExchangeHooks(previousHooks_);
    LinkState.SelectingPort = false;
    ports_.reset();
    InstallUiHost(previousUi_);
}

bool LinkFixture::QuietTimeoutPending(const TApdComPort& Port) {
    return Port.Exchange.QuietTimeout;
}

void LinkFixture::MakeNextTimeoutQuiet(TApdComPort& Port) {
    Port.Exchange.QuietTimeout = true;
}

void LinkFixture::RestartDetection() {
    ExchangeHooks().RestartDetection();
}
