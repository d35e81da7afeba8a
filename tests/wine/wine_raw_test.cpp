#include "tests/wine/wine_raw.h"

#include <gtest/gtest.h>

#include "device/reg_file.h"

namespace wine {
namespace {

using Bytes = std::vector<std::uint8_t>;

sim::Hive Parse(const std::string& regText) {
  sim::Hive hive;
  std::string error;
  EXPECT_TRUE(sim::ParseRegFile("Windows Registry Editor Version 5.00\r\n\r\n" + regText, &hive, &error))
      << error;
  return hive;
}

const sim::HiveValue* Value(sim::Hive& hive, const std::u16string& key, const std::u16string& name) {
  sim::HiveKey* k = hive.Find(sim::SplitKeyPath(key));
  return k ? k->FindValue(name) : nullptr;
}

// system.reg as wineserver writes it after regedit imported a seed: the
// odd DWORD padded, the unterminated string terminated.
const char kImported[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "[Software\\\\Talvenor\\\\Sample] 1700000000\n"
    "#time=1da1\n"
    "\"Odd\"=dword:00030201\n"
    "\"Open\"=hex(2):61,00,\\\n"
    "  62,00,00,00\n"
    "\"Plain\"=\"kept\"\n"
    "\n"
    "[System\\\\ControlSet001\\\\Services\\\\VORN] 1700000000\n"
    "\"Start\"=dword:00000002\n";

TEST(WineRawValues, SeedingWritesWhatTheImportAlteredAndNothingElse) {
  sim::Hive seed = Parse(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Sample]\r\n"
      "\"Odd\"=hex(4):01,02,03\r\n"
      "\"Open\"=hex(2):61,00,62,00\r\n"
      "\"Plain\"=\"kept\"\r\n"
      "\"Added\"=hex(1):41\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\VORN]\r\n"
      "\"Start\"=dword:00000002\r\n"
      "\"Empty\"=hex(1):\r\n\r\n");
  std::string out, error;
  ASSERT_TRUE(SeedRawValues(seed, kImported, &out, &error)) << error;
  EXPECT_EQ(out,
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to \\\\Machine\n"
            "\n"
            "[Software\\\\Talvenor\\\\Sample] 1700000000\n"
            "#time=1da1\n"
            "\"Odd\"=hex(4):01,02,03\n"
            "\"Open\"=hex(2):61,00,62,00\n"
            "\"Plain\"=\"kept\"\n"
            "\"Added\"=hex(1):41\n"
            "\n"
            "[System\\\\ControlSet001\\\\Services\\\\VORN] 1700000000\n"
            "\"Start\"=dword:00000002\n"
            "\"Empty\"=hex(1):\n");
}

TEST(WineRawValues, SeedingFailsWhenTheRegistryLacksTheKey) {
  sim::Hive seed = Parse(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere]\r\n"
      "\"Odd\"=hex(4):01\r\n\r\n");
  std::string out, error;
  EXPECT_FALSE(SeedRawValues(seed, kImported, &out, &error));
  EXPECT_NE(error.find("SOFTWARE\\Elsewhere"), std::string::npos) << error;
}

TEST(WineRawValues, WhatTheImportAlters) {
  auto alters = [](std::uint32_t type, Bytes data) { return ImportAlters({u"v", type, data}); };
  EXPECT_TRUE(alters(4, {1, 2, 3}));
  EXPECT_TRUE(alters(4, {1, 2, 3, 4, 5}));
  EXPECT_FALSE(alters(4, {1, 2, 3, 4}));
  EXPECT_TRUE(alters(1, {}));
  EXPECT_TRUE(alters(1, {'a', 0, 'b'}));            // odd byte count
  EXPECT_TRUE(alters(2, {'a', 0}));                 // no terminator
  EXPECT_TRUE(alters(1, {'a', 0, 0, 0, 'b', 0, 0, 0}));  // a NUL inside
  EXPECT_FALSE(alters(7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_FALSE(alters(1, {'a', 0, 0, 0}));
  EXPECT_FALSE(alters(3, {1, 2, 3}));
}

TEST(WineRawValues, ReadingBackReplacesWhatTheExportShows) {
  // The export shows the 3-byte DWORD with 4 bytes and cuts the string at
  // its NUL; system.reg has both as they are.
  sim::Hive exported = Parse(
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\VORN]\r\n"
      "\"Odd\"=dword:00030201\r\n"
      "\"Cut\"=\"a\"\r\n"
      "\"Plain\"=\"kept\"\r\n\r\n");
  const std::string systemReg =
      "[System\\\\ControlSet001\\\\Services\\\\VORN] 1700000000\n"
      "\"odd\"=hex(4):01,02,\\\n"
      "  03\n"
      "\"Cut\"=\"a\\0b\"\n"
      "\"Plain\"=\"kept\"\n"
      "\"NotExported\"=hex(1):41\n";
  ReadBackRawValues(systemReg, &exported);
  const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\VORN";
  ASSERT_NE(Value(exported, key, u"Odd"), nullptr);
  EXPECT_EQ(Value(exported, key, u"Odd")->type, 4u);
  EXPECT_EQ(Value(exported, key, u"Odd")->data, Bytes({1, 2, 3}));
  EXPECT_EQ(Value(exported, key, u"Cut")->type, 1u);
  EXPECT_EQ(Value(exported, key, u"Cut")->data, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0}));
  EXPECT_EQ(Value(exported, key, u"Plain")->data, Bytes({'k', 0, 'e', 0, 'p', 0, 't', 0, 0, 0}));
  EXPECT_EQ(Value(exported, key, u"NotExported"), nullptr);
}

// Every kind of value the import alters comes back from system.reg with
// its type and bytes, also for names wineserver escapes.
TEST(WineRawValues, SeededValuesReadBackByteForByte) {
  sim::Hive seed;
  sim::HiveKey* key = seed.Create(sim::SplitKeyPath(u"SOFTWARE\\Classes\\Odd"), false, nullptr);
  key->hasSection = true;
  const std::vector<sim::HiveValue> values = {
      {u"dword3", 4, {1, 2, 3}},
      {u"sz-odd", 1, {'a', 0, 'b'}},
      {u"expand-open", 2, {'%', 0, 'x', 0}},
      {u"multi-open", 7, {'a', 0, 0, 0, 'b', 0}},
      {u"sz-nul", 1, {'a', 0, 0, 0, 'b', 0, 0, 0}},
      {u"Gr\u00fc\u00dfe \"q\" \\", 4, {9}},
      {u"", 1, {}},
  };
  key->values = values;
  std::string systemReg, error;
  ASSERT_TRUE(SeedRawValues(seed, "[Software\\\\Classes\\\\Odd] 1\n\n", &systemReg, &error)) << error;

  sim::Hive exported = Parse("[HKEY_CLASSES_ROOT\\Odd]\r\n");
  sim::HiveKey* shown = exported.Find(sim::SplitKeyPath(u"SOFTWARE\\Classes\\Odd"));
  ASSERT_NE(shown, nullptr);
  for (const sim::HiveValue& v : values) shown->values.push_back({v.name, 3, {0xEE}});
  ReadBackRawValues(systemReg, &exported);
  for (const sim::HiveValue& v : values) {
    const sim::HiveValue* back = Value(exported, u"SOFTWARE\\Classes\\Odd", v.name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->type, v.type) << sim::RegValueText(v);
    EXPECT_EQ(back->data, v.data) << sim::RegValueText(v);
  }
}

}  // namespace
}  // namespace wine
