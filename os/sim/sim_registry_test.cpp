#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace sim {
namespace {

// The security a device's "protectedKeys" gives, as the Wine runs realise
// it with a key security granting reading only: the key named (under either
// root, or without one) refuses writing, an open for the most allowed gets
// reading only, and no key is created below it; the keys below it and
// beside it stay writable.
TEST(SimRegistry, AProtectedKeyGrantsReadingOnly) {
  TestDevice device(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC\\Sub]\r\n\r\n"
      "[HKEY_CLASSES_ROOT\\AppID]\r\n\r\n",
      R"({"protectedKeys": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\talvenor\\IPC",
                           "HKEY_CLASSES_ROOT\\AppID"]})");
  os::Registry& registry = device.sim().registry;
  const auto hklm = os::RootKey::kLocalMachine;
  std::unique_ptr<os::RegistryKey> key;
  EXPECT_EQ(registry.OpenKey(hklm, "SOFTWARE\\Talvenor\\IPC", os::kKeyReadWrite, &key),
            os::kErrorAccessDenied);
  EXPECT_EQ(registry.OpenKey(hklm, "SOFTWARE\\Classes\\AppID", os::kKeySetValue, &key),
            os::kErrorAccessDenied);
  ASSERT_EQ(registry.OpenKey(hklm, "SOFTWARE\\Talvenor\\IPC", os::kMaximumAllowed, &key),
            os::kSuccess);
  const std::uint8_t data[] = {1, 2};
  EXPECT_EQ(key->SetValue("x", os::kRegBinary, data, 2), os::kErrorAccessDenied);
  EXPECT_EQ(registry.CreateKey(hklm, "SOFTWARE\\Talvenor\\IPC\\New\\Deeper", os::kKeyRead, &key),
            os::kErrorAccessDenied);
  EXPECT_EQ(registry.CreateKey(os::RootKey::kClassesRoot, "AppID\\VORN.EXE", os::kKeyRead, &key),
            os::kErrorAccessDenied);
  EXPECT_EQ(registry.OpenKey(hklm, "SOFTWARE\\Talvenor\\IPC\\Sub", os::kKeyReadWrite, &key),
            os::kSuccess);
  EXPECT_EQ(registry.CreateKey(hklm, "SOFTWARE\\Talvenor\\Other", os::kKeyReadWrite, &key),
            os::kSuccess);
  EXPECT_EQ(device.Records("registryWrite").size(), 1u);  // the one key created
}

TEST(SimRegistry, ProtectedKeyPathsAreTakenBelowTheMachineRoot) {
  const std::vector<std::u16string> ipc = {u"SOFTWARE", u"Talvenor", u"IPC"};
  EXPECT_EQ(ProtectedKeyPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\IPC"), ipc);
  EXPECT_EQ(ProtectedKeyPath("SOFTWARE\\Talvenor\\IPC"), ipc);
  EXPECT_EQ(ProtectedKeyPath("HKEY_CLASSES_ROOT\\AppID"),
            (std::vector<std::u16string>{u"SOFTWARE", u"Classes", u"AppID"}));
  EXPECT_TRUE(ProtectedKeyPath("").empty());
}

}  // namespace
}  // namespace sim
