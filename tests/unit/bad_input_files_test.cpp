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

#include "display/boot_project.h"
#include "display/display_text.h"
#include "os/sim/testing.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

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

const std::string kOldData = "0A0000000100000014000000" + std::string(68, 'E') + "C8000000";

std::string DisplayCommand() {
  return "<InitCmd><key>Init1\\IO: Create Devices</key><port>300</port><iGrp>20481</iGrp>"
         "<iOffs>33</iOffs><data>" + kOldData + "</data><comment>LCD</comment></InitCmd>";
}

std::string Project(const std::string& doctype = "", const std::string& before = "",
                    const std::string& encoding = "utf-8") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n" + doctype +
         "<QvBootProject>\n  <InitCmds>" + before + DisplayCommand() +
         "</InitCmds>\n</QvBootProject>\n";
}

std::string Utf16WithBom(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

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
      {"not well-formed", "<QvBootProject><InitCmds>" + DisplayCommand() + "</QvBootProject>",
       Outcome::kRefused},
      {"two roots", whole + "<QvBootProject/>", Outcome::kRefused},
      {"whole", whole, Outcome::kUpdated},
  };
  for (int tenth = 1; tenth <= 9; ++tenth) {
    cases.push_back({"cut at " + std::to_string(tenth * 10) + "%",
                     whole.substr(0, whole.size() * tenth / 10), Outcome::kRefused});
  }
  // An external entity naming a file of the device, by an absolute file
  // URL and by a relative name: the reference stays unresolved and the
  // command is updated as usual.
  const std::string secret = fs::absolute(device_.folder() / "c/secret.txt").generic_string();
  for (const std::string& system : {"file://" + secret, std::string("secret.txt"), secret}) {
    cases.push_back({"external entity " + system,
                     Project("<!DOCTYPE QvBootProject [<!ENTITY x SYSTEM \"" + system + "\">]>",
                             "<InitCmd><key>k</key><comment>[&x;]</comment></InitCmd>"),
                     Outcome::kUpdated});
  }
  // An external DTD is not read either.
  cases.push_back({"external DTD",
                   Project("<!DOCTYPE QvBootProject SYSTEM \"file://" + secret + "\">"),
                   Outcome::kUpdated});
  // Ten levels of ten references: libxml2's amplification guard refuses
  // the document instead of expanding 10^10 characters.
  std::string laughs = "<!DOCTYPE QvBootProject [<!ENTITY l0 \"lollollollollol\">";
  for (int i = 1; i <= 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]>";
  cases.push_back({"exponential entities",
                   Project(laughs, "<InitCmd><comment>&l10;</comment></InitCmd>"),
                   Outcome::kRefused});
  // UTF-16 with a byte order mark is read and written back in UTF-16.
  cases.push_back({"UTF-16 with BOM", Utf16WithBom(Project("", "", "utf-16")), Outcome::kUpdated});
  for (const ConfigCase& c : cases) Check(c);
}

TEST_F(BadConfig, FiftyMegabytesAreReadAndTheCommandUpdated) {
  // Six commands before the display command whose comments take 8.5 MB
  // each: every text stays under the parser's 10 MB limit for one text.
  std::string many;
  for (int i = 0; i < 6; ++i) {
    many += "<InitCmd><key>Init0\\Sys: Other</key><comment>" + std::string(8'500'000, 'c') +
            "</comment></InitCmd>\n";
  }
  ASSERT_GT(many.size(), 50'000'000u);
  Check({"50 MB", Project("", many), Outcome::kUpdated});
}

}  // namespace
}  // namespace vorn
