#pragma once
// The machine's serial ports as a test wants them: a port backend that lists
// only the ports a test names (its simulated handboxes' virtual ports, or
// made-up ones), so no test ever probes a real device of the machine.

#include "diag/PortEnum.h"

#include <map>
#include <memory>

class FakePortBackend final : public TPortEnumBackend {
public:
    // A port-class device "COM<Number>" with a friendly name, in this state.
    void AddPort(int Number, const std::string& FriendlyName,
                 TPortState State = TPortState::Available);
    void SetState(int Number, TPortState State);
    // Lists no port any more.
    void Clear() {
        devices_.clear();
        states_.clear();
    }

    std::vector<TPortDevice> PortClassDevices() override { return devices_; }
    std::vector<TPortDevice> AllDevices(bool) override { return devices_; }
    TPortState Probe(const std::string& PortName) override;

private:
    std::vector<TPortDevice> devices_;
    std::map<std::string, TPortState> states_;
};

// Installs a fake backend for the life of a test and puts the previous back.
class ScopedFakePorts {
public:
    ScopedFakePorts();
    ~ScopedFakePorts();
    FakePortBackend& Ports() { return *backend_; }

private:
    FakePortBackend* backend_;
    std::unique_ptr<TPortEnumBackend> previous_;
};
