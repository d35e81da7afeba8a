// The bad-input catalogue, second half: the boot configuration file in every
// damaged form, adapters with odd descriptions and addresses, and the
// identity, installation and DST values of the registry in every damaged
// form. Each form has one defined outcome.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <libxml/parserInternals.h>

#include "tests/support/testing.h"
#include "tasks/display/boot_project.h"
#include "tasks/display/display_text.h"
#include "tests/unit/bad_input_catalogue.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using catalogue::BinaryForms;
using catalogue::DwordForms;
using catalogue::Planted;
using catalogue::Project;
using catalogue::Registry;
using catalogue::TextForms;

constexpr char kConfig[] = "c/Quorvex/DefaultConfig.xml";
constexpr char kSuccess[] = "VORN completed successfully";
constexpr char kFailure[] = "One or more tasks where not executed properly.";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---------------------------------------------------------------------------
// DefaultConfig.xml.

// Every resource the XML parser asks for while the catalogue runs: none may
// be, whatever the document names.
std::vector<std::string> requested;

xmlParserInputPtr RecordingLoader(const char* url, const char* id, xmlParserCtxtPtr) {
  requested.push_back(url != nullptr ? url : (id != nullptr ? id : "(unnamed)"));
  return nullptr;
}

enum class Outcome { kRefused, kUpdated };

struct ConfigCase {
  std::string what;
  std::string bytes;
  Outcome outcome;
};

class BadConfig : public ::testing::Test {
 protected:
  BadConfig()
      : device_("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex]\r\n"
                "\"InstallationPath\"=\"C:\\\\Quorvex\"\r\n\r\n",
                R"({"hostName": "HOST1"})") {
    device_.Write("c/secret.txt", "SECRET-ON-THE-DEVICE");
  }

  // Runs the display update on `bytes` and checks the case's outcome.
  void Check(const ConfigCase& c) {
    SCOPED_TRACE(c.what);
    device_.Write(kConfig, c.bytes);
    const std::size_t eventsBefore = device_.Records("event").size();
    EventReporter events(device_.platform().eventLog);
    const bool updated = UpdateDisplayText(device_.platform(), events, "KQ5020 XPE v2.1\n");
    const std::string after = ReadAll(device_.folder() / kConfig);
    auto records = device_.Records("event");
    std::vector<std::string> texts;
    for (std::size_t i = eventsBefore; i < records.size(); ++i) texts.push_back(records[i]["text"]);
    if (c.outcome == Outcome::kRefused) {
      EXPECT_FALSE(updated);
      EXPECT_EQ(after, c.bytes) << "a file that cannot be read is left as it is";
      EXPECT_EQ(texts, std::vector<std::string>{"Failed to load DefaultConfig.xml"});
    } else {
      EXPECT_TRUE(updated);
      EXPECT_TRUE(texts.empty());
      const std::string lines = EncodeDisplayLine("KQ5020 XPE v2.1") +
                                EncodeDisplayLine("Name: HOST1");
      std::string wideLines;
      for (char ch : lines) wideLines += std::string(1, ch) + '\0';
      EXPECT_TRUE(after.find(lines) != std::string::npos ||
                  after.find(wideLines) != std::string::npos)
          << "the display lines are in the file";
    }
    EXPECT_EQ(after.find("SECRET"), std::string::npos) << "no other file is read in";
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(device_.folder() / "c/Quorvex")) {
      left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"DefaultConfig.xml"});
  }

  sim::TestDevice device_;
  xmlExternalEntityLoader previousLoader_;
};

TEST_F(BadConfig, EveryDamagedFormHasItsOutcome) {
  const std::string whole = Project();
  std::vector<ConfigCase> cases = {
      {"empty", "", Outcome::kRefused},
      {"not well-formed",
       "<QvBootProject><InitCmds>" + catalogue::DisplayCommand() + "</QvBootProject>",
       Outcome::kRefused},
      {"two roots", whole + "<QvBootProject/>", Outcome::kRefused},
      {"whole", whole, Outcome::kUpdated},
  };
  for (int tenth = 1; tenth <= 9; ++tenth) {
    cases.push_back({"cut at " + std::to_string(tenth * 10) + "%",
                     whole.substr(0, whole.size() * tenth / 10), Outcome::kRefused});
  }
  // An external entity naming a file of the device, by an absolute file
  // URL and by a relative name: a document with a DTD is not loaded, so the
  // file is never read.
  const std::string secret = fs::absolute(device_.folder() / "c/secret.txt").generic_string();
  for (const std::string& system : {"file://" + secret, std::string("secret.txt"), secret}) {
    cases.push_back(
        {"external entity " + system, catalogue::ExternalEntity(system), Outcome::kRefused});
  }
  // An external DTD is not read either.
  cases.push_back(
      {"external DTD", catalogue::ExternalDtd("file://" + secret), Outcome::kRefused});
  // Ten levels of ten references: refused at the DTD, before anything is
  // expanded.
  cases.push_back({"exponential entities", catalogue::ExponentialEntities(), Outcome::kRefused});
  // UTF-16 with a byte order mark is read and written back in UTF-16.
  cases.push_back({"UTF-16 with BOM", catalogue::Utf16WithBom(Project("", "", "utf-16")),
                   Outcome::kUpdated});
  for (const ConfigCase& c : cases) Check(c);
}

TEST_F(BadConfig, FiftyMegabytesAreReadAndTheCommandUpdated) {
  const std::string big = catalogue::FiftyMegabytes();
  ASSERT_GT(big.size(), 50'000'000u);
  Check({"50 MB", big, Outcome::kUpdated});
}

// ---------------------------------------------------------------------------
// Registry values and adapters, on a whole device: every boot ends normally
// with exactly one summary, and within three boots the device has its
// identity (the name in effect, the UPnP registration's memory and the
// route net id), whatever the planted value held.

const char kDevice[] =
    R"({"hostName": "QZ_IPC", "adapters": [%s],
        "upnp": {"library": true, "unregisterResult": 0, "registerResult": 0, "tool": true,
                 "toolStartable": true, "toolRunsSeconds": 0.1}})";

const char kIntel[] =
    R"({"description": "Intel(R) PRO/100 VE Network Connection", "address": "00-01-05-12-AB-3C"})";

std::string DeviceJson(const std::string& adapters) {
  std::string json = kDevice;
  json.replace(json.find("%s"), 2, adapters);
  return json;
}

std::string Value(sim::TestDevice& device, const std::string& key, const std::string& name) {
  std::unique_ptr<os::RegistryKey> k;
  if (device.platform().registry.OpenKey(os::RootKey::kLocalMachine, key, os::kKeyRead, &k) != 0) {
    return "(no key)";
  }
  std::uint8_t data[512];
  std::uint32_t size = sizeof data;
  if (k->QueryValue(name, nullptr, data, &size) != 0) return "(unreadable)";
  std::string bytes(reinterpret_cast<char*>(data), size);
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return bytes;
}

// Boots until the device has its identity; false after three boots without.
// Every boot must end normally with one summary.
// `routeNetId` false: the route net id is not looked at.
bool BootsToIdentity(sim::TestDevice& device, const std::string& displayName = "KQ5_12AB3C",
                     bool routeNetId = true) {
  for (int boot = 1; boot <= 3; ++boot) {
    SCOPED_TRACE("boot " + std::to_string(boot));
    const std::size_t before = device.Records("event").size();
    EXPECT_EQ(device.Run(), 0);
    int summaries = 0;
    auto events = device.Records("event");
    for (std::size_t i = before; i < events.size(); ++i) {
      summaries += events[i]["text"] == kSuccess || events[i]["text"] == kFailure;
    }
    EXPECT_EQ(summaries, 1);
    const bool named = device.device().state().hostName == displayName &&
                       !device.device().state().pendingHostName;
    if (named && Value(device, "SOFTWARE\\Talvenor\\IPC", "LastComputerName") == "KQ5_12AB3C" &&
        Value(device, "SOFTWARE\\Talvenor\\IPC", "FirstMACId") ==
            std::string("\x00\x01\x05\x12\xab\x3c", 6) &&
        (!routeNetId || Value(device, "SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId") ==
            "\x05\x12\xab\x3c\x01\x01")) {
      return true;
    }
  }
  return false;
}

TEST(BadInputValues, EveryDamagedIdentityInstallationAndDstValueStillReachesTheIdentity) {
  struct Target {
    const char* key;
    const char* name;
    std::vector<Planted> forms;
  };
  const Target targets[] = {
      {"SOFTWARE\\Talvenor\\IPC", "LastComputerName", TextForms("KQ5_12AB3C")},
      {"SOFTWARE\\Talvenor\\IPC", "FirstMACId", BinaryForms()},
      {"SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId", BinaryForms()},
      {"SOFTWARE\\Talvenor\\Quorvex", "InstallationPath", TextForms("C:\\Quorvex")},
      {"SOFTWARE\\DSTPatch", "enableDSTPatch", DwordForms()},
      {"SOFTWARE\\DSTPatch", "DST", DwordForms()},
      {"SOFTWARE\\Talvenor", "DST", DwordForms()},
  };
  int planted = 0;
  for (const Target& t : targets) {
    for (const Planted& f : t.forms) {
      SCOPED_TRACE(std::string(t.name) + ", " + f.what);
      sim::TestDevice device(Registry(t.key, t.name, f.data), DeviceJson(kIntel));
      // A route net id that is there, in whatever form, is the runtime's
      // setting and stays; only an empty one is written.
      const bool kept = std::string(t.name) == "OlmNetId" && f.what != "zero bytes";
      const std::string before = Value(device, t.key, t.name);
      EXPECT_TRUE(BootsToIdentity(device, "KQ5_12AB3C", !kept));
      if (kept) EXPECT_EQ(Value(device, t.key, t.name), before);
      ++planted;
    }
  }
  EXPECT_EQ(planted, 60);
}

TEST(BadInputValues, AdaptersWithOddDescriptionsAndAddresses) {
  struct AdapterCase {
    const char* what;
    std::string adapters;
    bool identity;  // the device gets the identity of 00-01-05-12-AB-3C
  };
  auto adapter = [](const std::string& description, const std::string& address) {
    return R"({"description": ")" + description + R"(", "address": ")" + address + "\"}";
  };
  const std::string good = adapter("Intel PRO", "00-01-05-12-AB-3C");
  const AdapterCase cases[] = {
      {"description of 0 characters, the only adapter", adapter("", "00-01-05-12-AB-3C"), true},
      {"description of 0 characters beside the Intel one",
       adapter("", "00-00-00-00-00-01") + "," + good, true},
      {"description of 131 characters ending in Intel",
       adapter(std::string(126, 'x') + "Intel", "00-01-05-12-AB-3C"), true},
      {"address of 0 bytes beside the Intel one", adapter("Realtek", "") + "," + good, true},
      {"address of 1 byte beside the Intel one", adapter("Realtek", "00") + "," + good, true},
      {"address of 8 bytes beside the Intel one",
       adapter("Intel 1394", "00-00-00-00-00-00-00-01") + "," + good, true},
      {"only an address of 0 bytes", adapter("Intel", ""), false},
      {"only an address of 1 byte", adapter("Intel", "00"), false},
      {"only an address of 8 bytes", adapter("Intel", "00-01-05-12-AB-3C-00-00"), false},
  };
  for (const AdapterCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim::TestDevice device(Registry("", "", ""), DeviceJson(c.adapters));
    if (c.identity) {
      EXPECT_TRUE(BootsToIdentity(device));
      continue;
    }
    // Without a usable address nothing of the identity is made up: every
    // boot ends with its one summary, and the name stays.
    EXPECT_FALSE(BootsToIdentity(device, "QZ_IPC"));
    EXPECT_EQ(device.device().state().hostName, "QZ_IPC");
    EXPECT_EQ(Value(device, "SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId"), "(unreadable)");
  }
}

}  // namespace
}  // namespace vorn
