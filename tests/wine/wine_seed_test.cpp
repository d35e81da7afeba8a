#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "device/reg_file.h"
#include "tests/wine/wine_device.h"
#include "tests/wine/wine_process.h"
#include "tests/wine/wine_test_folder.h"

namespace wine {
namespace {

namespace fs = std::filesystem;

using WineFiles = ScratchFolder;

TEST_F(WineFiles, WindowsPathsFindFoldersAndFilesWithoutRegardToCase) {
  const fs::path prefix = dir_ / "prefix";
  Put(prefix / "drive_c" / "windows" / "system32" / "kernel32.dll", "");
  EXPECT_EQ(UnixPath(prefix, "C:\\WINDOWS\\System32\\KERNEL32.DLL"),
            prefix / "drive_c" / "windows" / "system32" / "kernel32.dll");
  // What does not exist keeps the spelling asked for.
  EXPECT_EQ(UnixPath(prefix, "C:\\Windows\\New\\File.txt"),
            prefix / "drive_c" / "windows" / "New" / "File.txt");
  EXPECT_EQ(UnixPath(prefix, "C:\\"), prefix / "drive_c");
}

TEST_F(WineFiles, CopyBackTakesEachTopLevelEntryAsThePrefixHoldsIt) {
  const fs::path device = dir_ / "device", prefix = dir_ / "prefix";
  Put(device / "c" / "Quorvex" / "DefaultConfig.xml", "before");
  Put(device / "c" / "Quorvex" / "old.txt", "removed by the run");
  Put(device / "c" / "gone.txt", "deleted by the run");
  Put(prefix / "drive_c" / "quorvex" / "DefaultConfig.xml", "after");
  fs::permissions(prefix / "drive_c" / "quorvex" / "DefaultConfig.xml", fs::perms::owner_write,
                  fs::perm_options::remove);
  Put(prefix / "drive_c" / "unrelated.txt", "not the device's");

  ASSERT_TRUE(CopyBack(device, prefix));
  EXPECT_EQ(Text(device / "c" / "Quorvex" / "DefaultConfig.xml"), "after");
  const fs::perms p = fs::status(device / "c" / "Quorvex" / "DefaultConfig.xml").permissions();
  EXPECT_EQ(p & fs::perms::owner_write, fs::perms::none);  // read-only stays read-only
  EXPECT_FALSE(fs::exists(device / "c" / "Quorvex" / "old.txt"));
  EXPECT_FALSE(fs::exists(device / "c" / "gone.txt"));
  EXPECT_FALSE(fs::exists(device / "c" / "unrelated.txt"));
}

// A killed session's prefix is the next boot's: the copy must hold what the
// kill left (registry files with their times, the configuration and a
// stray .new), and writing it must never reach the prefix it came from.
TEST_F(WineFiles, CopyPrefixCopiesDataAndSharesOnlyPrograms) {
  const fs::path from = dir_ / "killed", to = dir_ / "next";
  Put(from / "system.reg", "WINE REGISTRY");
  const auto old = fs::last_write_time(from / "system.reg") - std::chrono::hours(1);
  fs::last_write_time(from / "system.reg", old);
  Put(from / "drive_c" / "Quorvex" / "DefaultConfig.xml.new", "<partial");
  Put(from / "drive_c" / "windows" / "system32" / "VORN.EXE", "MZ");
  fs::create_directory_symlink("drive_c", from / "c_link");

  ASSERT_TRUE(CopyPrefix(from, to));
  EXPECT_EQ(Text(to / "drive_c" / "Quorvex" / "DefaultConfig.xml.new"), "<partial");
  EXPECT_EQ(fs::last_write_time(to / "system.reg"), old);  // wineserver reloads by time
  EXPECT_TRUE(fs::equivalent(to / "drive_c" / "windows" / "system32" / "VORN.EXE",
                             from / "drive_c" / "windows" / "system32" / "VORN.EXE"));
  EXPECT_TRUE(fs::is_symlink(to / "c_link"));
  Put(to / "system.reg", "changed by the next boot");
  EXPECT_EQ(Text(from / "system.reg"), "WINE REGISTRY");
}

TEST_F(WineFiles, TheServiceStateIsReadFromScOutput) {
  std::istringstream query(
      "SERVICE_NAME: VORN\r\n"
      "        TYPE               : 10  WIN32_OWN_PROCESS\r\n"
      "        STATE              : 4  RUNNING\r\n"
      "        WIN32_EXIT_CODE    : 1066  (0x42a)\r\n");
  std::ostringstream out;
  EXPECT_EQ(ServiceState(query, out), 0);
  EXPECT_EQ(out.str(), "RUNNING 1066\n");
  std::istringstream missing("[SC] EnumQueryServicesStatus:OpenService FAILED 1060\r\n");
  std::ostringstream none;
  ServiceState(missing, none);
  EXPECT_EQ(none.str(), "");
}

TEST_F(WineFiles, ProgramsRunWithTheirOutputsFolderAndExitCode) {
  const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
  EXPECT_EQ(wine::Run({{"sh", "-c", "pwd; echo oops >&2; exit 3"}, out, err, dir_.string(), 0}), 3);
  EXPECT_EQ(wine::Run({{"sh", "-c", "echo again"}, out, err, "", 0}), 0);
  EXPECT_EQ(Text(out), dir_.string() + "\nagain\n");  // appended
  EXPECT_EQ(Text(err), "oops\n");
  EXPECT_EQ(wine::Run({{(dir_ / "no-such-program").string()}, out, err, "", 0}), 127);
}

TEST_F(WineFiles, ATimeLimitEndsTheProgram) {
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(wine::Run({{"sleep", "30"}, "/dev/null", "/dev/null", "", 1}), 124);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
}

// The shipped build's type library entries reach the 64-bit test build as
// its own platform's, so that its -UnregServer removes them; a 32-bit run
// keeps them as they are.
TEST(WineSeed, TheShippedTypeLibraryIsSeededForTheTestBuildsPlatform) {
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CLASSES_ROOT\\TypeLib\\{2C6B9F40-81E3-4D27-A5C8-19F4E07B3D92}\\1.0\\0\\win32]\r\n"
      "@=\"C:\\\\VORN.EXE\"\r\n\r\n"
      "[HKEY_CLASSES_ROOT\\TypeLib\\{00020430-0000-0000-C000-000000000046}\\2.0\\0\\win32]\r\n"
      "@=\"stdole2.tlb\"\r\n";
  const std::u16string classes = u"SOFTWARE\\Classes\\TypeLib\\";
  for (const char* arch : {"win64", "win32"}) {
    setenv("VORN_WINE_ARCH", arch, 1);
    sim::Hive hive;
    std::string error;
    ASSERT_TRUE(sim::ParseRegFile(reg, &hive, &error)) << error;
    PresentTypeLibraryAs64(hive);
    const bool win64 = std::string(arch) == "win64";
    auto has = [&](const std::u16string& key) { return hive.Find(sim::SplitKeyPath(classes + key)); };
    EXPECT_EQ(has(u"{2C6B9F40-81E3-4D27-A5C8-19F4E07B3D92}\\1.0\\0\\win64") != nullptr, win64);
    EXPECT_EQ(has(u"{2C6B9F40-81E3-4D27-A5C8-19F4E07B3D92}\\1.0\\0\\win32") != nullptr, !win64);
    // Another library is not VORN's to present otherwise.
    EXPECT_NE(has(u"{00020430-0000-0000-C000-000000000046}\\2.0\\0\\win32"), nullptr);
  }
  unsetenv("VORN_WINE_ARCH");
}

}  // namespace
}  // namespace wine
