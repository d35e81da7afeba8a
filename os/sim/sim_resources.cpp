// The executable's resources on the simulated device: its string table
// from device.json's "strings", the rest embedded at build time from
// resources/ (see cmake/embed_resources.cmake).
#include <charconv>
#include <optional>

#include "device/codepage.h"
#include "device/device_json.h"
#include "os/sim/sim_host.h"
#include "os/sim/vorn_resources.h"

namespace sim {

namespace {

// A string table id: decimal digits, at most 65535 (string resources are
// numbered in 16 bits).
std::optional<std::uint32_t> StringId(const std::string& text) {
  std::uint32_t id = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, id);
  if (text.empty() || error != std::errc() || stop != end || id > 0xFFFF) return std::nullopt;
  return id;
}

}  // namespace

// The file's strings join the built-in table ({100: "VORN"}).
bool ReadStrings(const Json& file, DeviceState* state, std::string* error) {
  if (!file.contains("strings")) return true;
  for (const auto& [key, text] : file["strings"].items()) {
    const std::optional<std::uint32_t> id = StringId(key);
    if (!id) {
      *error = "device.json: string id \"" + key + "\" is not a whole number from 0 to 65535";
      return false;
    }
    state->strings[*id] = text.get<std::string>();
  }
  return true;
}

int SimProcess::LoadString(std::uint32_t id, std::size_t capacity, std::string* text) {
  text->clear();
  if (device_.Fault("LoadStringA") || capacity == 0) return 0;
  auto it = device_.state().strings.find(id);
  if (it == device_.state().strings.end()) return 0;
  *text = it->second.substr(0, capacity - 1);
  return static_cast<int>(text->size());
}

bool SimProcess::LoadResource(const std::string& type, std::uint32_t id,
                              std::string* bytes) {
  bytes->clear();
  if (device_.Fault("FindResourceA")) return false;
  // Resource type names are matched without regard to case, as Windows does.
  if (Cp1252CompareNoCase(type, "REGISTRY") == 0 && id == 100) {
    bytes->assign(reinterpret_cast<const char*>(resources::kRegistryScript),
                  resources::kRegistryScriptSize);
    return true;
  }
  return false;
}

}  // namespace sim
