#include "common/reg_access.h"

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

constexpr auto kLm = os::RootKey::kLocalMachine;

class RegAccessTest : public ::testing::Test {
 protected:
  RegAccessTest()
      : device_("[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n"
                "\"Sz\"=\"abc\"\r\n"
                "\"Expand\"=hex(2):61,00,00,00\r\n"
                "\"Dword\"=dword:12345678\r\n"
                "\"Bin\"=hex:01,02,03,04,05,06\r\n"
                "\"Empty\"=hex:\r\n"
                "\"Long\"=\"0123456789\"\r\n\r\n"),
        reg_(device_.sim().registry, device_.sim().process) {}

  os::Status LastError() { return device_.sim().process.GetLastError(); }

  sim::TestDevice device_;
  RegAccess reg_;
};

TEST_F(RegAccessTest, ReadsDeliverTheStoredBytes) {
  char text[16] = {};
  std::uint32_t size = sizeof text;
  EXPECT_TRUE(reg_.ReadString(kLm, "SOFTWARE\\T", "Sz", text, &size));
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(text, "abc");

  std::uint32_t value = 7;
  EXPECT_TRUE(reg_.ReadDword(kLm, "SOFTWARE\\T", "Dword", &value));
  EXPECT_EQ(value, 0x12345678u);  // the bytes in their order

  std::uint8_t bin[6] = {};
  size = sizeof bin;
  EXPECT_TRUE(reg_.ReadBinary(kLm, "software\\t", "BIN", bin, &size));
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(bin[5], 6);
}

TEST_F(RegAccessTest, AbsentValuesAndKeysAreFalseWithTheStatusNeverAMismatch) {
  char text[16];
  std::uint32_t size = sizeof text;
  EXPECT_FALSE(reg_.ReadString(kLm, "SOFTWARE\\T", "Missing", text, &size));
  EXPECT_EQ(LastError(), os::kErrorFileNotFound);
  std::uint32_t value = 7;
  EXPECT_FALSE(reg_.ReadDword(kLm, "SOFTWARE\\T", "Missing", &value));
  EXPECT_EQ(value, 0u);
  std::uint8_t bin[6];
  size = sizeof bin;
  EXPECT_FALSE(reg_.ReadBinary(kLm, "SOFTWARE\\Nope", "Bin", bin, &size));
  EXPECT_EQ(LastError(), os::kErrorFileNotFound);
  EXPECT_EQ(size, 6u);  // the key did not open: the size is left alone
}

TEST_F(RegAccessTest, WrongTypesThrowOneAndNoBufferThrowsFour) {
  std::uint32_t value;
  EXPECT_THROW(
      try { reg_.ReadDword(kLm, "SOFTWARE\\T", "Sz", &value); } catch (unsigned e) {
        EXPECT_EQ(e, kRegErrorWrongType);
        throw;
      },
      unsigned);
  char text[16];
  std::uint32_t size = sizeof text;
  EXPECT_THROW(reg_.ReadString(kLm, "SOFTWARE\\T", "Expand", text, &size), unsigned);
  std::uint8_t bin[8];
  size = sizeof bin;
  EXPECT_THROW(reg_.ReadBinary(kLm, "SOFTWARE\\T", "Dword", bin, &size), unsigned);
  try {
    reg_.ReadString(kLm, "SOFTWARE\\T", "Sz", nullptr, &size);
    ADD_FAILURE() << "no throw";
  } catch (unsigned e) {
    EXPECT_EQ(e, kRegErrorNoBuffer);
  }
}

TEST_F(RegAccessTest, TooSmallBuffersReportTheSizeNeededTypeTestedFirstForTwo) {
  char text[4];
  std::uint32_t size = sizeof text;
  EXPECT_FALSE(reg_.ReadString(kLm, "SOFTWARE\\T", "Long", text, &size));
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(LastError(), os::kErrorMoreData);

  std::uint8_t bin[2];
  size = sizeof bin;
  EXPECT_FALSE(reg_.ReadBinary(kLm, "SOFTWARE\\T", "Bin", bin, &size));
  EXPECT_EQ(size, 6u);
  // Another type that does not fit: ReadBinary tests the status first ...
  size = sizeof bin;
  EXPECT_FALSE(reg_.ReadBinary(kLm, "SOFTWARE\\T", "Long", bin, &size));
  // ... ReadString tests the type first.
  size = 2;
  EXPECT_THROW(reg_.ReadString(kLm, "SOFTWARE\\T", "Bin", text, &size), unsigned);
}

TEST_F(RegAccessTest, WritersNeverCreateKeysButRegClsDoes) {
  EXPECT_FALSE(reg_.WriteDword(kLm, "SOFTWARE\\New\\Key", "D", 1));
  EXPECT_EQ(LastError(), os::kErrorFileNotFound);
  EXPECT_TRUE(device_.Records("registryWrite").empty());

  RegCls cls(device_.sim().registry);
  const std::uint8_t id[6] = {5, 0x12, 0xAB, 0x3C, 1, 1};
  EXPECT_TRUE(cls.SetBinary(kLm, "SOFTWARE\\New\\Key", "OlmNetId", id, 6));
  EXPECT_TRUE(reg_.WriteDword(kLm, "SOFTWARE\\New\\Key", "D", 1));
  EXPECT_TRUE(cls.SetString(kLm, "SOFTWARE\\New\\Key", "Name", "abc"));

  std::uint8_t raw[8];
  std::uint32_t size = sizeof raw;
  std::uint32_t type = 0;
  std::unique_ptr<os::RegistryKey> key;
  ASSERT_EQ(device_.sim().registry.OpenKey(kLm, "SOFTWARE\\New\\Key", os::kKeyRead, &key), 0u);
  ASSERT_EQ(key->QueryValue("Name", &type, raw, &size), 0u);
  EXPECT_EQ(type, os::kRegSz);
  // Counted without its terminator: RegSetValueExA stores the one that
  // follows, as NT does.
  EXPECT_EQ(size, 4u);
  auto* stored = device_.device().hive().Find({u"SOFTWARE", u"New", u"Key"})->FindValue(u"Name");
  EXPECT_EQ(stored->data, (std::vector<std::uint8_t>{'a', 0, 'b', 0, 'c', 0, 0, 0}));
}

TEST_F(RegAccessTest, WritesIntoAProtectedKeyAreDenied) {
  sim::TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\r\n",
                         R"({"protectedKeys": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\T"]})");
  RegAccess reg(device.sim().registry, device.sim().process);
  EXPECT_FALSE(reg.WriteDword(kLm, "SOFTWARE\\T", "D", 1));
  EXPECT_EQ(device.sim().process.GetLastError(), os::kErrorAccessDenied);
  RegCls cls(device.sim().registry);
  EXPECT_FALSE(cls.SetString(kLm, "SOFTWARE\\T", "N", "x"));
  EXPECT_FALSE(cls.SetString(kLm, "SOFTWARE\\T\\Sub", "N", "x"));
  EXPECT_TRUE(device.Records("registryWrite").empty());
}

TEST(RouteNetIdGuard, AnswersFromKeyAndSizeOnly) {
  struct Case {
    const char* registry;
    bool unset;
  } cases[] = {
      {"", false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\r\n", true},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\"OlmNetId\"=hex:\r\n\r\n",
       true},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n"
       "\"OlmNetId\"=hex:05,12,ab,3c,01,01\r\n\r\n",
       false},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\"OlmNetId\"=\"x\"\r\n\r\n",
       false},
  };
  for (const auto& c : cases) {
    sim::TestDevice device(c.registry);
    EXPECT_EQ(IsRouteNetIdUnset(device.sim().registry), c.unset) << c.registry;
  }
}

}  // namespace
}  // namespace vorn
