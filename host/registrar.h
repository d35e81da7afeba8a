// The registry-script registrar: reads the script the executable carries as
// resource "REGISTRY" and creates or removes the keys and values it names.
//
// It understands exactly the part of the script language that VORN's own
// script uses, and rejects everything else with a message naming the line:
//
//   script   := { section }
//   section  := ROOT "{" { key } "}"            ROOT: HKCR or HKEY_CLASSES_ROOT
//   key      := [ "NoRemove" ] NAME [ "=" "s" VALUE ] [ "{" { key | value } "}" ]
//   value    := "val" NAME "=" "s" VALUE
//
// A NAME or VALUE is a word (any run of characters up to white space) or a
// text in single quotes, in which '' stands for one quote. Only string
// values ("s") exist; replacement variables ("%MODULE%"), "ForceRemove",
// "Delete" and the other value types are refused rather than guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "os/platform.h"

namespace vorn {

struct ScriptKey {
  std::string name;
  bool noRemove = false;
  std::optional<std::string> defaultValue;
  std::vector<std::pair<std::string, std::string>> values;  // in script order
  std::vector<ScriptKey> subKeys;
};

struct ScriptSection {
  os::RootKey root = os::RootKey::kClassesRoot;
  std::vector<ScriptKey> keys;
};

using RegistryScript = std::vector<ScriptSection>;

// Parses the script text. False with a message ("line N: ...") when the text
// leaves the language above.
bool ParseRegistryScript(const std::string& text, RegistryScript* script,
                         std::string* error);

// Registering: creates every key (and its missing parents) and sets every
// default value and named value as REG_SZ; stops at the first failure and
// returns its status.
// Unregistering: removes every key not marked NoRemove with all it holds
// (values written beside the script's, sub-keys), and the named values of
// NoRemove keys; keys that do not exist are skipped. Goes on after a
// failure and returns the first failing status. 0 when all went well.
os::Status ApplyRegistryScript(os::Registry& registry, const RegistryScript& script,
                               bool registering);

// Loads resource "REGISTRY" `resourceId` of the executable, parses it and
// applies it. Returns S_OK, HRESULT_FROM_WIN32 of the missing resource
// (1814) or of the registry failure, or E_FAIL for a script that cannot be
// parsed; *error (may be null) then says why.
os::HResult UpdateRegistryFromResource(const os::Platform& platform,
                                       std::uint32_t resourceId, bool registering,
                                       std::string* error);

}  // namespace vorn
