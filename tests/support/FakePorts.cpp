#include "tests/support/FakePorts.h"

#include "common/VirtualPorts.h"

#include <algorithm>
#include <sys/stat.h>

void FakePortBackend::AddPort(int Number, const std::string& FriendlyName, TPortState State) {
    TPortDevice device;
    device.PortName = "COM" + std::to_string(Number);
    device.Props[12] = FriendlyName;
    device.Props[7] = "Ports";
    devices_.push_back(device);
    states_[device.PortName] = State;
}

void FakePortBackend::SetState(int Number, TPortState State) {
    states_["COM" + std::to_string(Number)] = State;
}

TPortState FakePortBackend::Probe(const std::string& PortName) {
    const auto it = states_.find(PortName);
    if (it == states_.end())
        return TPortState::Absent;
    // A virtual port whose link has gone (a simulated handbox that vanished)
    // is absent, as the system's own listing would find it.
    const std::string link = VirtualPortLink(VirtualPortsFolder(), std::stoi(PortName.substr(3)));
    struct stat st {};
    if (it->second != TPortState::Absent && ::lstat(link.c_str(), &st) != 0 &&
        devices_.end() != std::find_if(devices_.begin(), devices_.end(), [&](const TPortDevice& d) {
            return d.PortName == PortName && d.Props[12].rfind("pts", 0) == 0;
        }))
        return TPortState::Absent;
    return it->second;
}

ScopedFakePorts::ScopedFakePorts() {
    auto backend = std::make_unique<FakePortBackend>();
    backend_ = backend.get();
    previous_ = InstallPortEnumBackend(std::move(backend));
}

ScopedFakePorts::~ScopedFakePorts() {
    InstallPortEnumBackend(std::move(previous_));
}
