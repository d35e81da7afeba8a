// The simulated disk and its power cut.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "device/disk.h"
#include "os/sim/sim_machine.h"
#include "tests/support/testing.h"

namespace sim {
namespace {

TEST(SimPowerCut, DataNotFlushedIsLostEvenAfterARename) {
  TestDevice device("", R"({"powerCut": {"after": 2}})");
  device.Write("c/cfg.xml", "old-old-old-old");
  ASSERT_EQ(WriteDeviceFile(device.device(), "C:\\cfg.new", "new-new-new-new!"), 0u);
  ASSERT_EQ(device.sim().files.MoveFile("C:\\cfg.new", "C:\\cfg.xml", 0x9), 0u);
  // The rename was step 2: the name moved, the data never reached the disk.
  EXPECT_EQ(ReadAll(device.folder() / "c/cfg.xml"), "new-new-");
  auto cut = device.Records("powerCut");
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0]["step"], "move C:\\cfg.xml");
  EXPECT_EQ(cut[0]["shortened"], Json::array({"c/cfg.xml"}));
}

TEST(SimPowerCut, FlushedDataSurvivesAndTheDeviceStopsAtTheCut) {
  TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\r\n",
                    R"({"powerCut": {"after": 3}})");
  auto& files = device.sim().files;
  std::unique_ptr<os::NewFile> file;
  ASSERT_EQ(files.CreateNew("C:\\cfg.new", &file), 0u);
  ASSERT_EQ(WriteDeviceFile(device.device(), "C:\\cfg.new", "0123456789"), 0u);
  ASSERT_EQ(file->Flush(), 0u);
  file.reset();
  ASSERT_EQ(files.MoveFile("C:\\cfg.new", "C:\\cfg.xml", 0x9), 0u);
  EXPECT_EQ(ReadAll(device.folder() / "c/cfg.xml"), "0123456789");

  // Without power nothing more happens on the disk, in the journal or in
  // the registry that is kept.
  EXPECT_EQ(files.DeleteFile("C:\\cfg.xml"), 21u);
  EXPECT_EQ(WriteDeviceFile(device.device(), "C:\\other", "x"), 21u);
  EXPECT_FALSE(std::filesystem::exists(device.folder() / "c/other"));
  const auto records = device.device().JournalRecords().size();
  std::unique_ptr<os::RegistryKey> key;
  device.platform().registry.CreateKey(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor\\New",
                                       os::kKeyWrite, &key);
  EXPECT_EQ(device.device().JournalRecords().size(), records);
  std::string error;
  ASSERT_TRUE(device.device().Save(&error)) << error;
  EXPECT_EQ(ReadAll(device.folder() / "registry.reg").find("Talvenor\\New"), std::string::npos);

  // The cut is spent: the device starts again with power.
  device.Reload();
  EXPECT_FALSE(device.device().state().powerCutAfter.has_value());
  EXPECT_EQ(device.sim().files.DeleteFile("C:\\cfg.xml"), 0u);
}

// Windows keeps a read-only file from being written, deleted or replaced,
// but renames it with its attribute.
TEST(SimReadOnlyFile, RefusesChangesAndTravelsWithARename) {
  TestDevice device("", R"({"readOnlyFiles": ["C:\\CFG.XML"]})");
  device.Write("c/cfg.xml", "kept");
  device.Write("c/other.new", "other");
  auto& files = device.sim().files;
  EXPECT_TRUE(files.IsReadOnly("C:\\cfg.xml"));
  EXPECT_FALSE(files.IsReadOnly("C:\\other.new"));
  EXPECT_EQ(WriteDeviceFile(device.device(), "C:\\cfg.xml", "x"), 5u);
  std::unique_ptr<os::NewFile> file;
  EXPECT_EQ(files.CreateNew("C:\\cfg.xml", &file), os::kErrorFileExists);
  EXPECT_EQ(files.DeleteFile("C:\\cfg.xml"), 5u);
  EXPECT_EQ(files.MoveFile("C:\\other.new", "C:\\cfg.xml", 0x9), 5u);
  EXPECT_EQ(ReadAll(device.folder() / "c/cfg.xml"), "kept");

  ASSERT_EQ(files.MoveFile("C:\\cfg.xml", "C:\\moved.xml", 0x9), 0u);
  EXPECT_TRUE(files.IsReadOnly("C:\\moved.xml"));
  EXPECT_FALSE(files.IsReadOnly("C:\\cfg.xml"));
  ASSERT_EQ(files.MoveFile("C:\\other.new", "C:\\cfg.xml", 0x9), 0u);
  EXPECT_FALSE(files.IsReadOnly("C:\\cfg.xml"));
  std::string error;
  ASSERT_TRUE(device.device().Save(&error)) << error;
  device.Reload();
  EXPECT_TRUE(device.sim().files.IsReadOnly("C:\\moved.xml"));
  EXPECT_EQ(device.sim().files.DeleteFile("C:\\moved.xml"), 5u);
}

// A new file is made only where no file has the name; whatever had it is
// left alone.
TEST(SimNewFile, IsCreatedOnlyUnderAFreeName) {
  TestDevice device;
  device.Write("c/cfg.new", "someone else's");
  auto& files = device.sim().files;
  std::unique_ptr<os::NewFile> file;
  EXPECT_EQ(files.CreateNew("C:\\CFG.NEW", &file), os::kErrorFileExists);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(ReadAll(device.folder() / "c/cfg.new"), "someone else's");
  EXPECT_EQ(files.CreateNew("C:\\missing\\cfg.new", &file), os::kErrorPathNotFound);
  ASSERT_EQ(files.CreateNew("C:\\fresh.new", &file), os::kSuccess);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAll(device.folder() / "c/fresh.new"), "");
}

// The volume's flush is a disk step of its own, journaled with the drive.
TEST(SimPowerCut, TheVolumeFlushIsADiskStep) {
  TestDevice device("", R"({"powerCut": {"after": 1}})");
  EXPECT_EQ(device.sim().files.FlushVolume("d:\\folder\\cfg.xml"), os::kSuccess);
  auto flushes = device.Records("volumeFlush");
  ASSERT_EQ(flushes.size(), 1u);
  EXPECT_EQ(flushes[0]["volume"], "D:");
  auto cut = device.Records("powerCut");
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0]["step"], "flush volume D:");
  EXPECT_EQ(device.sim().files.FlushVolume("C:\\cfg.xml"), 21u);
}

TEST(SimFileNames, MatchWithoutRegardToCaseAsTheDeviceCodePageHasIt) {
  TestDevice device("", "{}");
  // A folder and a file whose names carry Windows-1252 letters (0xE9 is
  // e acute, 0xC9 its capital).
  device.Write("c/Caf\xe9/r\xe9sum\xe9.txt", "x");
  EXPECT_EQ(device.device().HostPath("C:\\CAF\xc9\\R\xc9SUM\xc9.TXT"),
            device.folder() / "c/Caf\xe9/r\xe9sum\xe9.txt");
  EXPECT_TRUE(device.sim().files.Exists("c:\\caf\xe9\\R\xc9sum\xe9.txt"));
  // ".." never leaves the drive.
  EXPECT_EQ(device.device().HostPath("C:\\..\\..\\x"), device.folder() / "c/x");
}

TEST(SimPowerCut, WithRegistryStepsTheCutFallsBetweenTwoRegistryWrites) {
  TestDevice device("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor]\r\n\r\n",
                    R"({"powerCut": {"after": 2, "registry": true}})");
  std::unique_ptr<os::RegistryKey> key;
  ASSERT_EQ(device.platform().registry.OpenKey(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor",
                                               os::kKeyWrite, &key),
            0u);
  const std::uint8_t one[] = {1, 0, 0, 0};
  key->SetValue("First", os::kRegDword, one, 4);
  EXPECT_TRUE(device.sim().network.SetComputerName("KQ5_12AB3C"));  // step 2: the cut
  key->SetValue("Second", os::kRegDword, one, 4);
  key.reset();
  ASSERT_EQ(device.Records("powerCut").size(), 1u);
  std::string error;
  ASSERT_TRUE(device.device().Save(&error)) << error;
  device.Reload();
  const std::string reg = ReadAll(device.folder() / "registry.reg");
  auto has = [&](const char* name) {
    std::string wide;
    for (const char* c = name; *c; ++c) wide += std::string(1, *c) + '\0';
    return reg.find(wide) != std::string::npos;
  };
  EXPECT_TRUE(has("First"));
  EXPECT_FALSE(has("Second"));
  // The device starts again after the cut: the name set before it is in
  // effect on the next run.
  device.Run("-disabledst");
  EXPECT_EQ(device.device().state().hostName, "KQ5_12AB3C");
  EXPECT_FALSE(device.device().state().powerCutCountsRegistry);
}

}  // namespace
}  // namespace sim
