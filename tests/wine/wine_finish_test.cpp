#include <string>

#include <gtest/gtest.h>

#include "tests/wine/wine_device.h"
#include "tests/wine/wine_test_folder.h"

namespace wine {
namespace {

// regedit's export as it writes it: UTF-16LE with a byte-order mark.
std::string Utf16(const std::string& text) {
  std::string out = "\xff\xfe";
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n";

// The device is written back from the export only when every key either
// has its file or regedit said that it does not exist: an export that
// failed must never read as a registry without those keys.
class RegistryExport : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    Put(dir_ / "export-keys.txt", "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\nHKEY_LOCAL_MACHINE\\SOFTWARE\\B\n");
    Put(dir_ / "export-done.txt", "done\r\n");
    Put(dir_ / "export-out.txt", "");
  }
  bool Read() { return ReadExports(dir_, &all_, &error_); }
  std::string all_, error_;
};

TEST_F(RegistryExport, JoinsTheFilesAndSkipsOnlyKeysRegeditCouldNotOpen) {
  Put(dir_ / "export-1.reg", Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"));
  Put(dir_ / "export-out.txt",
      "regedit: Unable to open the registry key 'HKEY_LOCAL_MACHINE\\SOFTWARE\\B'.\r\n");
  ASSERT_TRUE(Read()) << error_;
  EXPECT_EQ(all_, Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"));

  Put(dir_ / "export-2.reg", Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"));
  ASSERT_TRUE(Read()) << error_;
  EXPECT_EQ(all_, Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n" +
                        "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"));
}

TEST_F(RegistryExport, RefusesAnExportThatFailed) {
  // Nothing exported and nothing said: regedit did not run.
  EXPECT_FALSE(Read());
  EXPECT_NE(error_.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\A"), std::string::npos) << error_;
  // Every file there, but the script did not reach its end.
  Put(dir_ / "export-1.reg", Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"));
  Put(dir_ / "export-2.reg", Utf16(std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"));
  Put(dir_ / "export-done.txt", "");
  EXPECT_FALSE(Read());
  EXPECT_NE(error_.find("end"), std::string::npos) << error_;
}

}  // namespace
}  // namespace wine
