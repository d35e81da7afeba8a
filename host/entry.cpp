#include "host/entry.h"

#include <cstring>

#include "common/reg_access.h"
#include "tasks/write_filter_dst/dst_patch.h"
#include "tasks/write_filter_dst/write_filter.h"

namespace vorn {
namespace {

// The DST verbs: refused under an active write filter, else the patch
// switched and the outcome shown.
int DstVerb(CServiceModule& module, bool enable) {
  const os::Platform& p = module.platform();
  if (IsWriteFilterActive(p)) {
    p.ui.MessageBox(enable ? "A WriteFilter is activated! Please disable the "
                             "WriteFilter before enabling DST-Patch"
                           : "A WriteFilter is activated! Please disable the "
                             "WriteFilter before disabling DST-Patch",
                    "VORN Warning", os::kMbIconWarning);
    return 0;
  }
  DstPatch patch(p);
  patch.Load();
  int result = enable ? patch.Enable() : patch.Disable();
  if (result == 1) {
    p.ui.MessageBox(enable ? "DSTPatch was successfully enabled"
                           : "DSTPatch was successfully disabled",
                    "VORN", os::kMbOk);
    return 1;
  }
  char text[64];
  std::snprintf(text, sizeof text, "ERROR: %i", result);
  p.ui.MessageBox(text, "VORN Error", os::kMbIconError);
  return result;
}

// No verb: the AppID registration decides between service and process mode.
int DefaultPath(CServiceModule& module) {
  const os::Platform& p = module.platform();
  std::unique_ptr<os::RegistryKey> appIds;
  os::Status status = p.registry.OpenKey(os::RootKey::kClassesRoot, "AppID",
                                         os::kKeyRead, &appIds);
  if (status != os::kSuccess) return static_cast<int>(status);
  std::unique_ptr<os::RegistryKey> appId;
  status = appIds->OpenKey(kAppId, os::kKeyRead, &appId);
  if (status != os::kSuccess) return static_cast<int>(status);

  // Only a terminated REG_SZ of at most 260 bytes counts; its content does
  // not matter.
  std::uint8_t buffer[260];
  std::uint32_t size = sizeof buffer;
  std::uint32_t type = os::kRegNone;
  status = appId->QueryValue("LocalService", &type, buffer, &size);
  module.isService = status == os::kSuccess && type == os::kRegSz && size > 0 &&
                     buffer[size - 1] == '\0';
  module.Start();
  return static_cast<int>(module.status.win32ExitCode);
}

}  // namespace

std::size_t NextToken(os::Text& text, const std::string& line, std::size_t pos,
                      const char* delimiters) {
  std::size_t i = pos;
  while (i < line.size()) {
    auto c = static_cast<unsigned char>(line[i]);
    if (c == '\0') break;
    if (std::strchr(delimiters, c) != nullptr) return i + 1;
    // CharNextA steps over a double-byte character whole.
    i += text.IsLeadByte(c) && i + 1 < line.size() && line[i + 1] != '\0' ? 2 : 1;
  }
  return std::string::npos;
}

Verb ParseVerb(os::Text& text, const std::string& line) {
  constexpr char kDelimiters[] = "-/";
  std::size_t token = NextToken(text, line, 0, kDelimiters);
  if (token != std::string::npos && text.CompareNoCase(line.substr(token), "Version") == 0) {
    return Verb::kVersion;
  }
  static const struct {
    const char* word;
    Verb verb;
  } kVerbs[] = {{"UnregServer", Verb::kUnregServer}, {"RegServer", Verb::kRegServer},
                {"Service", Verb::kService},         {"enabledst", Verb::kEnableDst},
                {"disabledst", Verb::kDisableDst}};
  // A token is the whole rest of the line, so comparing every one would copy
  // the rest of the line per delimiter: a 32 KB line of delimiters took
  // seconds. A token of more than 260 bytes is no verb and is not compared.
  constexpr std::size_t kLongestVerbToken = 260;
  while (token != std::string::npos) {
    if (line.size() - token <= kLongestVerbToken) {
      const std::string word = line.substr(token);
      for (const auto& v : kVerbs) {
        if (text.CompareNoCase(word, v.word) == 0) return v.verb;
      }
    }
    token = NextToken(text, line, token, kDelimiters);
  }
  return Verb::kNone;
}

int ProcessEntry(CServiceModule& module) {
  const os::Platform& p = module.platform();
  const std::string line = p.process.CommandLine();
  module.Init(kServiceNameResource);
  module.isService = true;
  switch (ParseVerb(p.text, line)) {
    case Verb::kVersion:
      p.ui.WriteStdout("FBWF Support");
      return 0;
    case Verb::kUnregServer:
      return module.UnregisterServer();
    case Verb::kRegServer:
      return module.RegisterServer(true, false);
    case Verb::kService:
      return module.RegisterServer(true, true);
    case Verb::kEnableDst:
      return DstVerb(module, true);
    case Verb::kDisableDst:
      return DstVerb(module, false);
    case Verb::kNone:
      break;
  }
  return DefaultPath(module);
}

}  // namespace vorn
