// Placeholder until registration and installation are built: every verb
// reports E_NOTIMPL and changes nothing.
#include "host/service_module.h"

namespace vorn {

constexpr std::int32_t kNotImplemented = static_cast<std::int32_t>(0x80004001u);

std::int32_t CServiceModule::RegisterServer(bool, bool) { return kNotImplemented; }
std::int32_t CServiceModule::UnregisterServer() { return kNotImplemented; }
bool CServiceModule::IsInstalled() { return false; }
bool CServiceModule::Install() { return false; }
bool CServiceModule::Uninstall() { return false; }

}  // namespace vorn
