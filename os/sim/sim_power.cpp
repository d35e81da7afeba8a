#include "os/sim/sim_machine.h"

namespace sim {
namespace {

class SimToken : public os::Token {
 public:
  SimToken(Device& device, SimPower& power) : device_(device), power_(power) {}
  bool AdjustShutdownPrivilege(bool enable) override {
    if (device_.Fault("AdjustTokenPrivileges")) return false;
    // Succeeds without the privilege too (ERROR_NOT_ALL_ASSIGNED), but
    // only a held privilege becomes enabled.
    power_.privilegeEnabled = enable && device_.state().shutdownPrivilege;
    return true;
  }

 private:
  Device& device_;
  SimPower& power_;
};

}  // namespace

std::unique_ptr<os::Token> SimPower::OpenProcessToken() {
  if (device_.Fault("OpenProcessToken")) return nullptr;
  return std::make_unique<SimToken>(device_, *this);
}

bool SimPower::LookupShutdownPrivilege() { return !device_.Fault("LookupPrivilegeValueA"); }

bool SimPower::InitiateShutdown(const std::string& message, std::uint32_t timeoutSeconds,
                                bool forceAppsClosed, bool rebootAfterShutdown) {
  DeviceState& s = device_.state();
  bool ok = !device_.Fault("InitiateSystemShutdownA") && privilegeEnabled &&
            !s.restartScheduled && !s.shutdownInProgress;
  if (ok) {
    s.restartScheduled = message;
    device_.MarkStateChanged();
  }
  device_.Journal({{"kind", "restartRequest"}, {"message", message},
                   {"timeout", timeoutSeconds}, {"force", forceAppsClosed},
                   {"reboot", rebootAfterShutdown}, {"ok", ok}});
  return ok;
}

}  // namespace sim
