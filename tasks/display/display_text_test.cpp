#include "tasks/display/display_text.h"

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

TEST(EncodeDisplayLine, WritesTwoLowerCaseDigitsPerByteAndPadsWithZeroBytes) {
  EXPECT_EQ(EncodeDisplayLine("abc"), "616263" + std::string(28, '0'));
  EXPECT_EQ(EncodeDisplayLine(""), std::string(34, '0'));
  EXPECT_EQ(EncodeDisplayLine("Name: HOST1"), "4e616d653a20484f535431000000000000");
  EXPECT_EQ(EncodeDisplayLine("\xE9"), "e9" + std::string(32, '0'));
  // Every byte value gives exactly its own two digits.
  for (int b = 1; b < 256; ++b) {
    const char text[2] = {static_cast<char>(b), '\0'};
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02x", b);
    EXPECT_EQ(EncodeDisplayLine(text).substr(0, 2), expected) << b;
  }
}

TEST(EncodeDisplayLine, CutsAtSeventeenBytesWithoutTerminator) {
  const std::string sixteen = "0123456789ABCDEF";
  const std::string line16 = EncodeDisplayLine(sixteen.c_str());
  EXPECT_EQ(line16.substr(30), "4600");  // 'F', then one zero byte
  const std::string seventeen = sixteen + "G";
  const std::string line17 = EncodeDisplayLine(seventeen.c_str());
  EXPECT_EQ(line17, line16.substr(0, 32) + "47");  // full line: no zero byte
  const std::string forty = seventeen + std::string(23, 'x');
  EXPECT_EQ(EncodeDisplayLine(forty.c_str()), line17);
}

TEST(BuildNameLine, EncodesNamePrefixAndHostNameUpToItsSeventeenthByte) {
  sim::TestDevice device("", R"({"hostName": "ABCDEFGHIJKLMNO"})");
  std::string line;
  ASSERT_TRUE(BuildNameLine(device.platform().network, &line));
  EXPECT_EQ(line, "4e616d653a204142434445464748494a4b");
  EXPECT_EQ(line, EncodeDisplayLine("Name: ABCDEFGHIJK"));

  sim::TestDevice thirteen("", R"({"hostName": "ABCDEFGHIJKLM"})");
  ASSERT_TRUE(BuildNameLine(thirteen.platform().network, &line));
  EXPECT_EQ(line, EncodeDisplayLine("Name: ABCDEFGHIJK"));

  sim::TestDevice host1("", R"({"hostName": "HOST1"})");
  ASSERT_TRUE(BuildNameLine(host1.platform().network, &line));
  EXPECT_EQ(line, "4e616d653a20484f535431000000000000");
}

TEST(BuildNameLine, FailsWhenTheHostNameCannotBeRead) {
  sim::TestDevice tooLong("", R"({"hostName": "ABCDEFGHIJKLMNOP"})");  // 16 characters
  std::string line = "unchanged";
  EXPECT_FALSE(BuildNameLine(tooLong.platform().network, &line));
  EXPECT_EQ(line, "unchanged");

  sim::TestDevice failing(
      "", R"({"faults": [{"call": "GetComputerNameExA", "occurrence": 1, "error": 5}]})");
  EXPECT_FALSE(BuildNameLine(failing.platform().network, &line));
}

TEST(ComposeDisplayData, ReplacesDigits24To91AndNothingElse) {
  const std::string current =
      std::string(24, 'A') + std::string(68, 'F') + "0123456789ABCDEF";  // 108 digits
  const std::string first = EncodeDisplayLine("KQ5020 XPE v2.1");
  const std::string second = EncodeDisplayLine("Name: QZ_IPC");
  const std::string data = ComposeDisplayData(current, first, second);
  ASSERT_EQ(data.size(), current.size());
  EXPECT_EQ(data.substr(0, 24), std::string(24, 'A'));  // upper case kept outside
  EXPECT_EQ(data.substr(24, 34), first);
  EXPECT_EQ(data.substr(58, 34), second);
  EXPECT_EQ(data.substr(92), "0123456789ABCDEF");

  // Exactly 92 digits: the lines end the data.
  const std::string minimal(92, 'C');
  EXPECT_EQ(ComposeDisplayData(minimal, first, second),
            std::string(24, 'C') + first + second);
}

}  // namespace
}  // namespace vorn
