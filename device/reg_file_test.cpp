#include "device/reg_file.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "device/codepage.h"
#include "tests/support/testing.h"

namespace sim {
namespace {

std::vector<std::uint8_t> Utf16(const std::u16string& s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) {
    out.push_back(c & 0xFF);
    out.push_back(c >> 8);
  }
  return out;
}

HiveValue* Value(Hive& hive, const std::u16string& key, const std::u16string& name) {
  HiveKey* k = hive.Find(SplitKeyPath(key));
  return k ? k->FindValue(name) : nullptr;
}

// An export as regedit writes it (UTF-16LE with its byte order mark, CRLF,
// hex lines continued past 77 columns): every value type, empty values,
// default values, escapes and Windows-1252 letters.
const char kExport[] = VORN_SOURCE_DIR "/tests/data/regedit-export.reg";

TEST(RegFile, RegeditExportRoundTripsByteForByte) {
  const std::string bytes = ReadAll(kExport);
  ASSERT_GT(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xff\xfe");
  Hive hive;
  std::string error;
  ASSERT_TRUE(ParseRegFile(bytes, &hive, &error)) << error;
  EXPECT_EQ(WriteRegFile(hive), bytes);
}

TEST(RegFile, RegeditExportValuesAreReadAsTheDeviceHasThem) {
  Hive hive;
  std::string error;
  ASSERT_TRUE(ParseRegFile(ReadAll(kExport), &hive, &error)) << error;
  const std::u16string key = u"SOFTWARE\\Talvenor\\Station 7";
  struct Expected {
    const char16_t* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  std::vector<std::uint8_t> archive;
  for (int i = 0; i < 71; ++i) archive.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  const Expected expected[] = {
      {u"Archive", 3, archive},  // three lines joined
      {u"comment", 1, Utf16(std::u16string(u"Hall \"B\" \\ line 3") + u'\0')},  // any case
      {u"Counter", 11, {0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01}},
      {u"Description", 1, {0, 0}},
      {u"Depends", 7, Utf16(std::u16string(u"Tcpip\0LanmanWorkstation\0RPCSS\0\0", 31))},
      {u"Empty List", 7, {0, 0}},
      {u"Enabled", 4, {1, 0, 0, 0}},
      {u"Nothing", 3, {}},
      {u"Operator", 1, Utf16(std::u16string(u"J\u00fcrgen M\u00fcller, Stra\u00dfe 5") + u'\0')},
      {u"Raw", 0, Utf16(std::u16string(u"ab\0", 3))},
      {u"Timeout", 4, {0xfe, 0xff, 0xff, 0xff}},
      {u"Tools", 2,
       Utf16(std::u16string(u"%ProgramFiles%\\Talvenor\\Tools;%SystemRoot%\\system32") + u'\0')},
      {u"Vendor Data", 0x4321, {0xde, 0xad, 0x01}},
  };
  for (const Expected& e : expected) {
    const std::u16string name = e.name;
    HiveValue* value = Value(hive, key, name);
    ASSERT_NE(value, nullptr) << std::string(name.begin(), name.end());
    EXPECT_EQ(value->type, e.type) << std::string(name.begin(), name.end());
    EXPECT_EQ(value->data, e.data) << std::string(name.begin(), name.end());
  }
  HiveValue* panel = Value(hive, key + u"\\Panel", u"");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->data, Utf16(std::u16string(u"front panel") + u'\0'));
  HiveValue* unnamed = Value(hive, key + u"\\Panel\\Unnamed", u"");
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(unnamed->data, std::vector<std::uint8_t>({0, 0}));
  HiveKey* spare = hive.Find(SplitKeyPath(key + u"\\Spare"));
  ASSERT_NE(spare, nullptr);
  EXPECT_TRUE(spare->values.empty());
  // Parents that only hold the exported key get no section of their own.
  EXPECT_FALSE(hive.Find({u"SOFTWARE"})->hasSection);
  EXPECT_FALSE(hive.Find({u"SOFTWARE", u"Talvenor"})->hasSection);
}

TEST(RegFile, ValuesTheQuotedFormCannotCarryAreWrittenAsHex) {
  Hive hive;
  HiveKey* key = hive.Create({u"SOFTWARE", u"T"}, false, nullptr);
  key->values.push_back({u"Unterminated", 1, Utf16(u"KQ5_12AB3C")});
  key->values.push_back({u"Odd", 1, {0x41}});
  key->values.push_back({u"Inner", 1, Utf16(std::u16string(u"a\0b\0", 4))});
  key->values.push_back({u"Short", 4, {1, 2}});
  key->values.push_back({u"Big", 0x12345, {9}});
  // A line break would end the quoted form's line.
  key->values.push_back({u"Lines", 1, Utf16(std::u16string(u"a\r\nb\0", 5))});
  std::string bytes = WriteRegFile(hive);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);
  EXPECT_NE(text.find("\"Unterminated\"=hex(1):4b,00,51,00"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Odd\"=hex(1):41"), std::string::npos);
  EXPECT_NE(text.find("\"Inner\"=hex(1):61,00,00,00,62,00,00,00"), std::string::npos);
  EXPECT_NE(text.find("\"Short\"=hex(4):01,02"), std::string::npos);
  EXPECT_NE(text.find("\"Big\"=hex(12345):09"), std::string::npos);
  EXPECT_NE(text.find("\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"), std::string::npos);

  Hive back;
  std::string error;
  ASSERT_TRUE(ParseRegFile(bytes, &back, &error)) << error;
  HiveKey* again = back.Find({u"SOFTWARE", u"T"});
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->values.size(), key->values.size());
  for (std::size_t i = 0; i < key->values.size(); ++i) {
    EXPECT_EQ(again->values[i].type, key->values[i].type);
    EXPECT_EQ(again->values[i].data, key->values[i].data);
  }
  EXPECT_EQ(WriteRegFile(back), bytes);
}

TEST(RegFile, EightBitInputAndClassesRootSections) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CLASSES_ROOT\\AppID\\{X}]\n@=\"VORN\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC]\n\"Platform\"=\"Gr\xfc\"\n"
      "\"N\"=dword:0000002a\n\"Wrapped\"=hex:01,02,\\\n  03\n";
  Hive hive;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, &hive, &error)) << error;
  HiveKey* appId = hive.Find({u"SOFTWARE", u"Classes", u"AppID", u"{X}"});
  ASSERT_NE(appId, nullptr);
  EXPECT_TRUE(appId->classesRoot);
  EXPECT_EQ(Value(hive, u"SOFTWARE\\Talvenor\\IPC", u"Platform")->data,
            Utf16(std::u16string(u"Gr\u00fc") + u'\0'));
  EXPECT_EQ(Value(hive, u"SOFTWARE\\Talvenor\\IPC", u"Wrapped")->data,
            std::vector<std::uint8_t>({1, 2, 3}));
  std::string out = WriteRegFile(hive);
  std::string narrow;
  for (std::size_t i = 2; i + 1 < out.size(); i += 2) narrow.push_back(out[i]);
  EXPECT_NE(narrow.find("[HKEY_CLASSES_ROOT\\AppID\\{X}]\r\n@=\"VORN\"\r\n"),
            std::string::npos) << narrow;
}

TEST(RegFile, EveryDataFormReadsAsRegeditWroteIt) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\x]\n"
      "\"s\"=\"a\\\"b\\\\c\"\n\"d\"=dword:A\n\"b\"=hex: 0a , FF,\n\"e\"=hex:\n"
      "\"t\"=hex(12345):01\n\"m\"=hex(7):61,00,\\\n  00,00\n";
  Hive hive;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, &hive, &error)) << error;
  const struct {
    const char16_t* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  } expected[] = {
      {u"s", 1, Utf16(std::u16string(u"a\"b\\c") + u'\0')},
      {u"d", 4, {10, 0, 0, 0}},
      {u"b", 3, {10, 255}},
      {u"e", 3, {}},
      {u"t", 0x12345, {1}},
      {u"m", 7, {0x61, 0, 0, 0}},
  };
  for (const auto& e : expected) {
    const HiveValue* value = Value(hive, u"x", e.name);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, e.type);
    EXPECT_EQ(value->data, e.data);
  }
}

TEST(RegFile, RejectsWhatItDoesNotUnderstandNamingTheLine) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n";
  const std::string key = head + "[HKEY_LOCAL_MACHINE\\x]\n";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"REGEDIT4\n",
       "registry.reg: the first line is not \"Windows Registry Editor Version 5.00\""},
      {head + "[HKEY_USERS\\x]\n",
       "registry.reg line 3: only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are kept: "
       "[HKEY_USERS\\x]"},
      {head + "[HKEY_LOCAL_MACHINE\\x\n",
       "registry.reg line 3: unterminated key name: [HKEY_LOCAL_MACHINE\\x"},
      {head + "[\\]\n", "registry.reg line 3: empty key name: [\\]"},
      {head + "\"a\"=\"b\"\n", "registry.reg line 3: value outside a key: \"a\"=\"b\""},
      {key + "\"a\"=hex:0g\n", "registry.reg line 4: value data not understood: \"a\"=hex:0g"},
      {key + "\"a\"=hex:01,\\\n 0\n",
       "registry.reg line 4: value data not understood: \"a\"=hex:01,0"},
      {key + "\"a\"=dword:123456789\n",
       "registry.reg line 4: value data not understood: \"a\"=dword:123456789"},
      {key + "\"a\"=hex():01\n", "registry.reg line 4: value data not understood: \"a\"=hex():01"},
      {key + "\"a\"=\"b\" c\n", "registry.reg line 4: value data not understood: \"a\"=\"b\" c"},
      {key + "\"a=\"b\"\n", "registry.reg line 4: missing '=': \"a=\"b\""},
      {key + "\"a\n", "registry.reg line 4: unterminated value name: \"a"},
      {key + "a=1\n", "registry.reg line 4: not a key or value line: a=1"},
  };
  for (const auto& c : cases) {
    Hive hive;
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.text, &hive, &error)) << c.text;
    EXPECT_EQ(error, c.message) << c.text;
  }
}

}  // namespace
}  // namespace sim
