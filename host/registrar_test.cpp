#include "host/registrar.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/testing.h"

namespace vorn {
namespace {

// The registry script as VORN.EXE carries it: tabs, CR LF, 171 bytes.
const std::string kShippedScript =
    "HKCR\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n"
    "\t\t{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615} = s 'VORN'\r\n"
    "\t\t'VORN.EXE'\r\n\t\t{\r\n"
    "\t\t\tval AppID = s {5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}\r\n"
    "\t\t}\r\n\t}\r\n}\r\n";

TEST(Registrar, TheScriptResourceIsTheExactText) {
  ASSERT_EQ(kShippedScript.size(), 171u);
  std::ifstream in(std::string(VORN_SOURCE_DIR) + "/resources/VORN.rgs", std::ios::binary);
  std::ostringstream file;
  file << in.rdbuf();
  EXPECT_EQ(file.str(), kShippedScript) << "resources/VORN.rgs (CR LF kept by git?)";

  sim::TestDevice device;
  std::string bytes;
  ASSERT_TRUE(device.platform().process.LoadResource("REGISTRY", 100, &bytes));
  EXPECT_EQ(bytes, kShippedScript);
  EXPECT_FALSE(device.platform().process.LoadResource("REGISTRY", 101, &bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST(Registrar, ParsesTheShippedScript) {
  RegistryScript script;
  std::string error;
  ASSERT_TRUE(ParseRegistryScript(kShippedScript, &script, &error)) << error;
  ASSERT_EQ(script.size(), 1u);
  ASSERT_EQ(script[0].keys.size(), 1u);
  const ScriptKey& appIds = script[0].keys[0];
  EXPECT_EQ(appIds.name, "AppID");
  EXPECT_TRUE(appIds.noRemove);
  ASSERT_EQ(appIds.subKeys.size(), 2u);
  EXPECT_EQ(appIds.subKeys[0].name, "{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}");
  EXPECT_EQ(appIds.subKeys[0].defaultValue, "VORN");
  EXPECT_TRUE(appIds.subKeys[0].subKeys.empty());
  EXPECT_EQ(appIds.subKeys[1].name, "VORN.EXE");
  EXPECT_FALSE(appIds.subKeys[1].noRemove);
  ASSERT_EQ(appIds.subKeys[1].values.size(), 1u);
  EXPECT_EQ(appIds.subKeys[1].values[0].first, "AppID");
  EXPECT_EQ(appIds.subKeys[1].values[0].second, "{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}");
}

TEST(Registrar, QuotedTextsMayHoldBlanksAndQuotes) {
  RegistryScript script;
  std::string error;
  ASSERT_TRUE(ParseRegistryScript("HKCR { 'a key' { val 'it''s' = s 'x y' } }", &script, &error))
      << error;
  const ScriptKey& key = script[0].keys[0];
  EXPECT_EQ(key.name, "a key");
  EXPECT_EQ(key.values[0].first, "it's");
  EXPECT_EQ(key.values[0].second, "x y");
}

TEST(Registrar, RejectsWhatItDoesNotUnderstand) {
  struct Case {
    const char* script;
    const char* says;
  };
  const Case cases[] = {
      {"HKLM\r\n{\r\n}\r\n", "line 1: root key \"HKLM\" is not supported"},
      {"HKCR\r\n{\r\n\tForceRemove X\r\n}\r\n", "line 3: 'ForceRemove'"},
      {"HKCR { X { val N = d 5 } }", "value type \"d\" is not supported"},
      {"HKCR { X = s '%MODULE%' }", "replacement variables"},
      {"HKCR { 'A\\B' }", "key paths"},
      {"HKCR { val N = s x }", "values directly under the root key"},
      {"HKCR\r\n{\r\n\tX\r\n\t{\r\n", "line 4: '}' missing for key 'X'"},
      {"HKCR { X = s 'open }", "a quoted text is not closed"},
      {"HKCR{ }", "root key \"HKCR{\""},
      {"HKCR { X = }", "value type \"}\""},
      {"HKCR { X { Delete Y } }", "'Delete' is not supported"},
      {"HKCR { } junk", "root key \"junk\""},
  };
  for (const Case& c : cases) {
    RegistryScript script;
    std::string error;
    EXPECT_FALSE(ParseRegistryScript(c.script, &script, &error)) << c.script;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.script << " gave: " << error;
    EXPECT_TRUE(script.empty());
  }
}

std::optional<std::string> ReadString(os::Registry& registry, const std::string& key,
                                      const std::string& name) {
  std::unique_ptr<os::RegistryKey> k;
  if (registry.OpenKey(os::RootKey::kClassesRoot, key, os::kKeyRead, &k) != 0) return {};
  char buffer[300];
  std::uint32_t size = sizeof buffer;
  if (k->QueryValue(name, nullptr, reinterpret_cast<std::uint8_t*>(buffer), &size) != 0) {
    return {};
  }
  return std::string(buffer, size);
}

bool Exists(os::Registry& registry, const std::string& key) {
  std::unique_ptr<os::RegistryKey> k;
  return registry.OpenKey(os::RootKey::kClassesRoot, key, os::kKeyRead, &k) == 0;
}

TEST(Registrar, UnregisteringRemovesWhatRegisteringMadeButNoRemoveKeys) {
  sim::TestDevice device(
      "[HKEY_CLASSES_ROOT\\AppID\\{0000}]\r\n@=\"another program\"\r\n\r\n");
  os::Registry& registry = device.platform().registry;
  RegistryScript script;
  std::string error;
  ASSERT_TRUE(ParseRegistryScript(kShippedScript, &script, &error));

  ASSERT_EQ(ApplyRegistryScript(registry, script, true), 0u);
  EXPECT_EQ(ReadString(registry, "AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}", ""),
            std::string("VORN\0", 5));
  EXPECT_EQ(ReadString(registry, "AppID\\VORN.EXE", "AppID"),
            std::string("{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}\0", 39));

  // A value written beside the script's goes with its key.
  std::unique_ptr<os::RegistryKey> key;
  ASSERT_EQ(registry.OpenKey(os::RootKey::kClassesRoot,
                             "AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}", os::kKeyWrite,
                             &key),
            0u);
  key->SetValue("LocalService", os::kRegSz, reinterpret_cast<const std::uint8_t*>("VORN"), 5);
  key.reset();

  ASSERT_EQ(ApplyRegistryScript(registry, script, false), 0u);
  EXPECT_FALSE(Exists(registry, "AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}"));
  EXPECT_FALSE(Exists(registry, "AppID\\VORN.EXE"));
  EXPECT_TRUE(Exists(registry, "AppID"));
  EXPECT_EQ(ReadString(registry, "AppID\\{0000}", ""), std::string("another program\0", 16));

  // Nothing left to remove is no failure.
  EXPECT_EQ(ApplyRegistryScript(registry, script, false), 0u);
}

TEST(Registrar, RegisteringStopsAtTheFirstRefusedWrite) {
  sim::TestDevice device("",
                         R"({"protectedKeys": ["HKEY_CLASSES_ROOT\\AppID\\VORN.EXE"]})");
  os::Registry& registry = device.platform().registry;
  RegistryScript script;
  std::string error;
  ASSERT_TRUE(ParseRegistryScript(kShippedScript, &script, &error));
  // The protected key cannot be opened for writing: nothing after it is tried.
  EXPECT_EQ(ApplyRegistryScript(registry, script, true), os::kErrorAccessDenied);
}

}  // namespace
}  // namespace vorn
