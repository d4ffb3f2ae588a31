#include "cli/NamedPortOnly.h"

#include "diag/PortEnum.h"

#include <algorithm>
#include <memory>

namespace {

// The backend it wraps, with every other port left out: not listed, and
// never probed (a probe opens the port).
class TNamedPortBackend final : public TPortEnumBackend {
public:
    TNamedPortBackend(std::unique_ptr<TPortEnumBackend> Inner, int Number)
        : inner_(std::move(Inner))
        , name_("COM" + std::to_string(Number)) {}

    std::vector<TPortDevice> PortClassDevices() override {
        return Named(inner_->PortClassDevices());
    }
    std::vector<TPortDevice> AllDevices(bool IncludeAbsent) override {
        return Named(inner_->AllDevices(IncludeAbsent));
    }
    TPortState Probe(const std::string& PortName) override {
        return PortName == name_ ? inner_->Probe(PortName) : TPortState::Absent;
    }
    TPortAccess AccessOf(const std::string& PortName) override {
        return PortName == name_ ? inner_->AccessOf(PortName) : TPortAccess{};
    }
    TIgnoredFolder IgnoredPortsFolder() override { return inner_->IgnoredPortsFolder(); }

private:
    std::vector<TPortDevice> Named(std::vector<TPortDevice> Devices) const {
        std::erase_if(Devices, [this](const TPortDevice& d) { return d.PortName != name_; });
        return Devices;
    }

    std::unique_ptr<TPortEnumBackend> inner_;
    std::string name_;
};

} // namespace

void ShowNamedPortOnly(int Number) {
    std::unique_ptr<TPortEnumBackend> inner = InstallPortEnumBackend(nullptr);
    if (!inner)
        inner = MakeSystemPortEnumBackend();
    InstallPortEnumBackend(std::make_unique<TNamedPortBackend>(std::move(inner), Number));
}
