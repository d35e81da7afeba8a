#include "tasks/identity/id_check.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/identity_testing.h"

namespace vorn {
namespace {

using testing::Adapter;
using testing::DeviceJson;
using testing::IdentityDevice;
using testing::kIntel3C;
using Bytes = std::vector<std::uint8_t>;

Bytes Mac(const IDCheck& id) { return Bytes(id.macId, id.macId + kMacIdSize); }

struct Choice {
  const char* what;
  std::string adapters;
  int length;
  Bytes mac;
};

TEST(ReadMacId, ChoosesTheSmallestIntelAddressOrElseTheLastAdapter) {
  const Bytes ff(6, 0xFF);
  const Choice cases[] = {
      {"two Intel: the smaller",
       Adapter("Intel A", "00-01-05-AA-BB-CC") + "," + Adapter("Intel B", "00-01-05-11-22-33"),
       6, {0x00, 0x01, 0x05, 0x11, 0x22, 0x33}},
      {"equal Intel addresses: the earlier stays",
       Adapter("Intel A", "00-01-05-11-22-33") + "," + Adapter("Intel B", "00-01-05-11-22-33"),
       6, {0x00, 0x01, 0x05, 0x11, 0x22, 0x33}},
      {"(Intel, other): never the other, even smaller",
       Adapter("Intel", "00-01-05-AA-BB-CC") + "," + Adapter("Realtek", "00-00-00-00-00-01"),
       6, {0x00, 0x01, 0x05, 0xAA, 0xBB, 0xCC}},
      {"(other, Intel): only the Intel one",
       Adapter("Realtek", "00-00-00-00-00-01") + "," + Adapter("Intel", "00-01-05-AA-BB-CC"),
       6, {0x00, 0x01, 0x05, 0xAA, 0xBB, 0xCC}},
      {"only others: the last",
       Adapter("Realtek", "00-00-00-00-00-01") + "," + Adapter("VIA", "00-09-00-00-00-02"),
       6, {0x00, 0x09, 0x00, 0x00, 0x00, 0x02}},
      {"capitals count as Intel",
       Adapter("INTEL PRO", "00-01-05-AA-BB-CC") + "," + Adapter("VIA", "00-00-00-00-00-02"),
       6, {0x00, 0x01, 0x05, 0xAA, 0xBB, 0xCC}},
      {"lower case counts as Intel",
       Adapter("VIA", "00-00-00-00-00-02") + "," + Adapter("intel pro", "00-01-05-AA-BB-CC") +
           "," + Adapter("VIA", "00-00-00-00-00-03"),
       6, {0x00, 0x01, 0x05, 0xAA, 0xBB, 0xCC}},
      {"FF-FF-FF-FF-FF-FF never taken", Adapter("Intel", "FF-FF-FF-FF-FF-FF"), 0, ff},
      {"an Intel adapter without address blocks the last-adapter rule",
       Adapter("Intel", "") + "," + Adapter("VIA", "00-00-00-00-00-02"), 0, ff},
      {"a 4-byte address is taken with its length",
       Adapter("Intel", "00-01-05-12"), 4, {0x00, 0x01, 0x05, 0x12, 0xFF, 0xFF}},
      // Addresses longer than the identity are left out as if not listed.
      {"8-byte Intel first: the fitting last adapter is taken",
       Adapter("Intel 1394", "00-00-00-00-00-00-00-01") + "," +
           Adapter("Realtek", "00-01-05-12-AB-3C"),
       6, {0x00, 0x01, 0x05, 0x12, 0xAB, 0x3C}},
      {"8-byte Intel smaller than a 6-byte Intel",
       Adapter("Intel", "00-01-05-12-AB-3C") + "," + Adapter("Intel", "00-00-00-00-00-00-00-01"),
       6, {0x00, 0x01, 0x05, 0x12, 0xAB, 0x3C}},
      {"8-byte adapter last: the earlier one is the last that fits",
       Adapter("Realtek", "00-01-05-12-AB-3C") + "," + Adapter("Other", "00-00-00-00-00-00-00-01"),
       6, {0x00, 0x01, 0x05, 0x12, 0xAB, 0x3C}},
      {"only an 8-byte adapter: nothing taken", Adapter("Intel", "00-00-00-00-00-00-00-01"), 0,
       ff},
  };
  for (const Choice& c : cases) {
    SCOPED_TRACE(c.what);
    IdentityDevice d(DeviceJson("QZ_IPC", c.adapters));
    IDCheck& id = d.Make("KQ5");
    EXPECT_EQ(Mac(id), c.mac);
    MacId again = {};
    EXPECT_EQ(id.ReadMacId(again), c.length);
    EXPECT_EQ(Bytes(again, again + 6), c.mac);
    // Nothing written beyond the identity: the field after it is intact.
    EXPECT_STREQ(id.namePrefix, "KQ5");
    const bool failed = c.length == 0;
    EXPECT_EQ(d.Events(), failed ? std::vector<std::string>{"Reading MACID from Hardware failed"}
                                 : std::vector<std::string>{});
  }
}

TEST(ReadMacId, AListThatCannotBeReadLeavesAllZeroAndNamesTheCode) {
  {
    IdentityDevice d(DeviceJson("QZ_IPC", ""));
    IDCheck& id = d.Make();
    EXPECT_EQ(Mac(id), Bytes(6, 0x00));
    EXPECT_EQ(d.Events(), (std::vector<std::string>{
                              "GetAdapterInfo failed with code 0xe8\ncan't change computer name",
                              "Reading MACID from Hardware failed"}));
    EXPECT_EQ(d.Calls("GetAdaptersInfo"), 1u);  // no list to ask for
  }
  {
    // The size protocol is followed once: a second overflow is not retried.
    IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C,
                                R"("faults": [{"call": "GetAdaptersInfo", "occurrence": 2, "error": 111}])"));
    IDCheck& id = d.Make();
    EXPECT_EQ(Mac(id), Bytes(6, 0x00));
    EXPECT_EQ(d.Calls("GetAdaptersInfo"), 2u);
    EXPECT_EQ(d.Events().at(0), "GetAdapterInfo failed with code 0x6f\ncan't change computer name");
  }
}

TEST(IDCheckConstruction, ReadsTheNameWithRoomForFifteenCharacters) {
  IdentityDevice fits(DeviceJson("ABCDEFGHIJKLMNO", kIntel3C));
  EXPECT_STREQ(fits.Make().computerName, "ABCDEFGHIJKLMNO");
  EXPECT_TRUE(fits.Events().empty());

  IdentityDevice tooLong(DeviceJson("ABCDEFGHIJKLMNOP", kIntel3C));
  EXPECT_STREQ(tooLong.Make().computerName, "");
  EXPECT_EQ(tooLong.Events(), std::vector<std::string>{"Reading Computername failed"});
}

TEST(IDCheckLog, DropsTraceTextsAndKeepsPercentSigns) {
  IdentityDevice d(DeviceJson("QZ_IPC", kIntel3C));
  IDCheck& id = d.Make();
  id.Log("never seen", kTraceType);
  id.Log("100%s done %d", EVENTLOG_INFORMATION_TYPE);
  ASSERT_EQ(d.device().Records("event").size(), 1u);
  EXPECT_EQ(d.device().Records("event")[0]["text"], "100%s done %d");
  EXPECT_EQ(d.device().Records("event")[0]["type"], 4);
  EXPECT_EQ(d.device().Records("event")[0]["source"], "VORN");
}

TEST(MakeOlmNetId, TheLastFourAddressBytesThenOneOne) {
  IdentityDevice six(DeviceJson("QZ_IPC", kIntel3C));
  MacId id = {};
  ASSERT_TRUE(six.Make().MakeOlmNetId(id));
  EXPECT_EQ(Bytes(id, id + 6), (Bytes{0x05, 0x12, 0xAB, 0x3C, 0x01, 0x01}));

  IdentityDevice four(DeviceJson("QZ_IPC", Adapter("Intel", "0A-0B-0C-0D")));
  ASSERT_TRUE(four.Make().MakeOlmNetId(id));
  EXPECT_EQ(Bytes(id, id + 6), (Bytes{0x0A, 0x0B, 0x0C, 0x0D, 0x01, 0x01}));

  IdentityDevice three(DeviceJson("QZ_IPC", Adapter("Intel", "0A-0B-0C")));
  EXPECT_FALSE(three.Make().MakeOlmNetId(id));
}

TEST(SetOlmNetId, StoresSixBinaryBytesAndReportsThem) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C));
  EXPECT_TRUE(d.Make().SetOlmNetId());
  EXPECT_EQ(d.Events(), std::vector<std::string>{"Setting OlmNetId = 05 12 AB 3C 01 01"});
  auto value = d.Value("SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->first, os::kRegBinary);
  EXPECT_EQ(value->second, (Bytes{0x05, 0x12, 0xAB, 0x3C, 0x01, 0x01}));
}

TEST(SetOlmNetId, WithoutAnAddressWritesNothingAndFails) {
  IdentityDevice d(DeviceJson("QZ_IPC", ""));
  IDCheck& id = d.Make();
  const std::size_t eventsBefore = d.Events().size();
  EXPECT_FALSE(id.SetOlmNetId());
  EXPECT_EQ(d.Count("registryWrite"), 0u);
  for (std::size_t i = eventsBefore; i < d.Events().size(); ++i) {
    EXPECT_EQ(d.Events()[i].find("Setting OlmNetId"), std::string::npos);
  }
  EXPECT_FALSE(d.Value("SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId"));
}

TEST(SetOlmNetId, AFailedWriteIsSilentAndStillTrue) {
  IdentityDevice d(DeviceJson("KQ5_12AB3C", kIntel3C,
                              R"("faults": [{"call": "RegSetValueExA", "occurrence": 0, "error": 5}])"));
  EXPECT_TRUE(d.Make().SetOlmNetId());
  EXPECT_EQ(d.Events(), std::vector<std::string>{"Setting OlmNetId = 05 12 AB 3C 01 01"});
  EXPECT_FALSE(d.Value("SOFTWARE\\Talvenor\\Quorvex\\System", "OlmNetId"));
}

}  // namespace
}  // namespace vorn
