#include "common/image_info.h"

#include <gtest/gtest.h>

#include "tests/support/testing.h"
#include "tests/support/image_info_registry.h"

namespace vorn {
namespace {

struct Read {
  explicit Read(const std::string& values) : device(sim::ImageInfoKey(values)) {
    RegAccess reg(device.sim().registry, device.sim().process);
    ok = info.Read(reg);
  }
  sim::TestDevice device;
  ImageInfo info;
  bool ok = false;
};

TEST(ImageInfo, AllFourValues) {
  Read r("\"Image\"=\"KQ5020 Image\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n"
         "\"PlatformShort\"=\"KQX\"\r\n");
  EXPECT_TRUE(r.ok);
  EXPECT_STREQ(r.info.PlatformShort, "KQX");
  EXPECT_STREQ(r.info.DisplayText(0), "KQ5020 Image v2.1");
  EXPECT_STREQ(r.info.DisplayText(1), "KQ5020 XPE v2.1");
  EXPECT_STREQ(r.info.DisplayText(2), "");
  EXPECT_TRUE(r.info.IsFamilyPlatform());
}

TEST(ImageInfo, ShortNameFallsBackToThreeCharactersOrIsKeptEmpty) {
  Read missing("\"Image\"=\"I\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n");
  EXPECT_TRUE(missing.ok);
  EXPECT_STREQ(missing.info.PlatformShort, "KQ5");
  Read shortPlatform("\"Image\"=\"I\"\r\n\"Platform\"=\"K\"\r\n\"Version\"=\"2.1\"\r\n");
  EXPECT_STREQ(shortPlatform.info.PlatformShort, "K");
  EXPECT_FALSE(shortPlatform.info.IsFamilyPlatform());
  Read empty("\"Image\"=\"I\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n"
             "\"PlatformShort\"=\"\"\r\n");
  EXPECT_STREQ(empty.info.PlatformShort, "");
  // A wrong-typed short name takes the fallback too.
  Read wrong("\"Image\"=\"I\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n"
             "\"PlatformShort\"=dword:00000001\r\n");
  EXPECT_TRUE(wrong.ok);
  EXPECT_STREQ(wrong.info.PlatformShort, "KQ5");
  Read longName("\"Image\"=\"I\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n"
                "\"PlatformShort\"=\"ABCDEFGHIJKLMNOPQRST\"\r\n");
  EXPECT_STREQ(longName.info.PlatformShort, "ABCDEFGHIJKLMNO");
}

TEST(ImageInfo, ARequiredValueMissingOrWrongTypedFailsTheRead) {
  EXPECT_FALSE(Read("\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n").ok);
  EXPECT_FALSE(Read("\"Image\"=dword:00000001\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n").ok);
  EXPECT_FALSE(Read("\"Image\"=\"I\"\r\n\"Platform\"=hex(2):4b,00,00,00\r\n\"Version\"=\"2.1\"\r\n").ok);
  // 100 characters do not fit the 100-byte field with a terminator.
  EXPECT_FALSE(Read("\"Image\"=\"" + std::string(100, 'i') +
                    "\"\r\n\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n").ok);
}

TEST(ImageInfo, LongValuesFitTheirFieldsAndFormsStayTerminated) {
  Read r("\"Image\"=\"" + std::string(99, 'i') + "\"\r\n\"Platform\"=\"" + std::string(99, 'K') +
         "\"\r\n\"Version\"=hex(1):32,00,2e,00,31,00\r\n");  // stored without terminator
  EXPECT_TRUE(r.ok);
  EXPECT_STREQ(r.info.Version, "2.1");
  EXPECT_EQ(std::string(r.info.DisplayText(1)).size(), 41u);
  EXPECT_FALSE(r.info.IsFamilyPlatform());
  Read lower("\"Image\"=\"I\"\r\n\"Platform\"=\"kq5020\"\r\n\"Version\"=\"2.1\"\r\n");
  EXPECT_FALSE(lower.info.IsFamilyPlatform());
}

TEST(ImageInfo, TheJobStopsWithoutItAndTouchesNothing) {
  sim::TestDevice device(
      "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n\r\n" +
      sim::ImageInfoKey("\"Platform\"=\"KQ5020\"\r\n\"Version\"=\"2.1\"\r\n") +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorvex\\System]\r\n\r\n",
      R"({"adapters":[{"description":"Intel","address":"00-01-05-12-AB-3C"}]})");
  EXPECT_EQ(device.Run(), 0);
  auto events = device.Records("event");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], "No imageinformations were found in the registry");
  EXPECT_TRUE(device.Records("registryWrite").empty());
  EXPECT_TRUE(device.Records("computerNameSet").empty());
}

}  // namespace
}  // namespace vorn
