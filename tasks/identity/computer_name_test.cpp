#include <gtest/gtest.h>

#include "tasks/identity/id_check.h"
#include "tests/support/identity_testing.h"

namespace vorn {
namespace {

using testing::Adapter;
using testing::DeviceJson;
using testing::IdentityDevice;
using testing::kIntel3C;

constexpr char kNameRestart[] = "The Computername was changed. Machine has to be restarted.";

TEST(MakeComputerName, PrefixUnderscoreAndTheLastThreeBytes) {
  IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C));
  IDCheck& id = d.Make("KQ5");
  char name[16] = {};
  ASSERT_TRUE(id.MakeComputerName(name, sizeof name));
  EXPECT_STREQ(name, "KQ5_12AB3C");
  // Cut to the buffer, always terminated.
  char small[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  ASSERT_TRUE(id.MakeComputerName(small, sizeof small));
  EXPECT_STREQ(small, "KQ5_1");

  IdentityDevice longPrefix(DeviceJson("QZ_IPC", kIntel3C));
  ASSERT_TRUE(longPrefix.Make("ABCDEFGHIJKL").MakeComputerName(name, sizeof name));
  EXPECT_STREQ(name, "ABCDEFGHIJKL_12");

  IdentityDevice shortAddress(DeviceJson("QZ_IPC", Adapter("Intel", "00-01-05-12")));
  EXPECT_FALSE(shortAddress.Make().MakeComputerName(name, sizeof name));
}

struct NameCase {
  const char* current;
  const char* prefix;
  const char* expected;  // null: left alone
};

TEST(CheckComputerName, ReplacesTheDefaultAndOurOwnNamesOnly) {
  const NameCase cases[] = {
      {"QZ_IPC", "KQ5", "KQ5_12AB3C"},
      {"qz_ipc", "KQ5", "KQ5_12AB3C"},
      {"KQ5_000000", "KQ5", "KQ5_12AB3C"},  // from another adapter
      {"kiln7", "KQ5", "KQ5_12AB3C"},       // first character matches in any case
      {"kq5_12ab3c", "KQ5", "KQ5_12AB3C"},  // exact comparison
      {"Press1", "KQ5", nullptr},
      {"KQ5_12AB3C", "KQ5", nullptr},
      {"abc", "ABCDEFGHIJKL", "ABCDEFGHIJKL_12"},
      {"QZ_IPC", "", "_12AB3C"},  // an empty prefix replaces only the default
      {"Press1", "", nullptr},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(std::string(c.current) + " / " + c.prefix);
    IdentityDevice d(DeviceJson(c.current, kIntel3C));
    IDCheck& id = d.Make(c.prefix);
    EXPECT_TRUE(id.CheckComputerName());
    auto sets = d.device().Records("computerNameSet");
    if (c.expected == nullptr) {
      EXPECT_TRUE(sets.empty());
      EXPECT_TRUE(d.Events().empty());
      EXPECT_EQ(d.Count("restartRequest"), 0u);
      EXPECT_EQ(d.Count("registryWrite"), 0u);
      EXPECT_STREQ(id.computerName, c.current);
      continue;
    }
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]["name"], c.expected);
    EXPECT_EQ(sets[0]["ok"], true);
    EXPECT_EQ(d.device().device().state().pendingHostName, c.expected);
    EXPECT_STREQ(id.computerName, c.expected);
    const std::string changed =
        std::string("The computer name was changed from ") + c.current + " to " + c.expected + "\n";
    EXPECT_EQ(d.Events(), (std::vector<std::string>{changed, "UPnP successfully registered"}));
    auto restarts = d.device().Records("restartRequest");
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_EQ(restarts[0]["message"], kNameRestart);
    EXPECT_EQ(restarts[0]["timeout"], 60);
    EXPECT_EQ(restarts[0]["force"], true);
    EXPECT_EQ(restarts[0]["reboot"], true);
    EXPECT_EQ(restarts[0]["ok"], true);
    // The UPnP identity now holds the new name.
    auto stored = d.Value("SOFTWARE\\Talvenor\\IPC", "LastComputerName");
    ASSERT_TRUE(stored);
    // With the terminator RegSetValueExA adds to the name's count.
    EXPECT_EQ(std::string(stored->second.begin(), stored->second.end()), std::string(c.expected) + '\0');
  }
}

TEST(CheckComputerName, FailuresAreReportedAndChangeNothing) {
  {
    IdentityDevice d(DeviceJson("QZ_IPC", Adapter("Intel", "00-01-05-12")));
    IDCheck& id = d.Make();
    EXPECT_FALSE(id.CheckComputerName());
    EXPECT_EQ(d.Events().back(), "Error generating computer name from MACId.\n current Name is QZ_IPC\n");
    EXPECT_EQ(d.Count("computerNameSet"), 0u);
  }
  {
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C,
                                R"("faults": [{"call": "SetComputerNameExA", "occurrence": 1, "error": 5}])"));
    IDCheck& id = d.Make();
    EXPECT_FALSE(id.CheckComputerName());
    EXPECT_EQ(d.Events(), std::vector<std::string>{"Changing Computername to KQ5_12AB3C failed\n"});
    EXPECT_STREQ(id.computerName, "QZ_IPC");
    EXPECT_EQ(d.Count("restartRequest"), 0u);
    EXPECT_EQ(d.Count("registryWrite"), 0u);
    EXPECT_EQ(d.Count("libraryCall"), 0u);
  }
}

TEST(CheckComputerName, APercentSignInTheOldNameIsReportedAsItStands) {
  IdentityDevice d(DeviceJson("K%s%d", kIntel3C));
  EXPECT_TRUE(d.Make().CheckComputerName());
  EXPECT_EQ(d.Events().at(0), "The computer name was changed from K%s%d to KQ5_12AB3C\n");
}

TEST(CheckComputerName, AFailedRestartRequestDoesNotFailTheTask) {
  IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C, R"("shutdownPrivilege": false)"));
  EXPECT_TRUE(d.Make().CheckComputerName());
  ASSERT_EQ(d.Count("restartRequest"), 1u);
  EXPECT_EQ(d.device().Records("restartRequest")[0]["ok"], false);
}

// The name task re-registers with the new name, so the UPnP task that
// follows in the same run has nothing left to do.
TEST(CheckComputerName, TheUpnpTaskAfterAChangeFindsNothingToDo) {
  IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C));
  IDCheck& id = d.Make();
  EXPECT_TRUE(id.CheckComputerName());
  const std::size_t writes = d.Count("registryWrite");
  const std::size_t events = d.Events().size();
  EXPECT_TRUE(id.CheckUpnp());
  EXPECT_EQ(d.Count("registryWrite"), writes);
  EXPECT_EQ(d.Events().size(), events);
  EXPECT_EQ(d.Count("libraryCall"), 2u);  // the one unregister and register
  auto restarts = d.device().Records("restartRequest");
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_EQ(restarts[0]["message"], kNameRestart);
}

}  // namespace
}  // namespace vorn
