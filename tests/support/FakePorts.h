#pragma once
// The machine's serial ports as a test wants them: port backends that list
// only the ports a test names (its simulated handboxes' virtual ports, or
// made-up ones), so no test ever probes a real device of the machine.

#include "diag/PortEnum.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

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

// Devices exactly as a test gives them (any name, any record), each in the
// state a probe finds; it notes what was probed and what was asked.
class DeviceListBackend final : public TPortEnumBackend {
public:
    std::vector<TPortDevice> Devices;
    std::map<std::string, TPortState> States;
    std::vector<std::string> Probed;
    bool LastIncludeAbsent = false;
    TPortAccess Access = {"/dev/ttyUSB0", "dialout", "root", 0660, true, false};
    TIgnoredFolder Ignored;

    void Add(const std::string& PortName, const std::map<int, std::string>& Props = {},
             TPortState State = TPortState::Absent) {
        TPortDevice device;
        device.PortName = PortName;
        for (const auto& [code, text] : Props)
            device.Props[static_cast<std::size_t>(code)] = text;
        Devices.push_back(device);
        States[PortName] = State;
    }
    std::vector<TPortDevice> PortClassDevices() override { return Devices; }
    std::vector<TPortDevice> AllDevices(bool IncludeAbsent) override {
        LastIncludeAbsent = IncludeAbsent;
        return Devices;
    }
    TPortState Probe(const std::string& PortName) override {
        Probed.push_back(PortName);
        const auto it = States.find(PortName);
        return it == States.end() ? TPortState::Absent : it->second;
    }
    TPortAccess AccessOf(const std::string&) override { return Access; }
    TIgnoredFolder IgnoredPortsFolder() override { return Ignored; }
};
