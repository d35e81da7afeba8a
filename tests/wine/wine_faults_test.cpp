#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/wine/wine_device.h"
#include "tests/wine/wine_faults.h"
#include "tests/wine/wine_test_folder.h"

namespace wine {
namespace {

namespace fs = std::filesystem;

std::vector<Fault> Parsed(const std::string& text) {
  std::vector<Fault> faults;
  std::string error;
  EXPECT_TRUE(ParseFaults(text, &faults, &error)) << error;
  return faults;
}

TEST(FaultList, WrittenListReadsBackWithCrLfAndBlankLines) {
  const std::vector<Fault> faults = {{"SetComputerNameExA", 1, 5}, {"CoCreateInstance", 0, 2147500037u}};
  const std::string text = WriteFaults(faults);
  EXPECT_EQ(text, "SetComputerNameExA 1 5\nCoCreateInstance 0 2147500037\n");
  const std::vector<Fault> back = Parsed("\r\nSetComputerNameExA 1 5\r\n\nCoCreateInstance 0 2147500037");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].call, "CoCreateInstance");
  EXPECT_EQ(back[1].occurrence, 0u);
  EXPECT_EQ(back[1].error, 2147500037u);
  EXPECT_TRUE(Parsed("").empty());
}

TEST(FaultList, MalformedLinesAndUnknownCallsAreRefusedWithTheLine) {
  for (const char* bad : {"SetComputerNameExA 1", "SetComputerNameExA x 5", "SetComputerNameExA 1 5 6",
                          "SetComputerNameExA 1 -5", " SetComputerNameExA 1 5", "SetComputerNameExA  1 5",
                          "SetComputerNameExA 1 4294967296", "IXMLDOMDocument::load 1 5", "CloseHandle 0 6"}) {
    std::vector<Fault> faults;
    std::string error;
    EXPECT_FALSE(ParseFaults(std::string("RegOpenKeyExA 0 2\n") + bad, &faults, &error)) << bad;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  }
}

TEST(FaultCounter, CountsEachFunctionFromOneAndTheFirstMatchingFaultDecides) {
  FaultCounter counter({{"RegSetValueExA", 2, 5}, {"GetAdaptersInfo", 0, 31}, {"RegSetValueExA", 2, 6},
                        {"RegSetValueExA", 4, 1}});
  ASSERT_EQ(counter.calls(), (std::vector<std::string>{"RegSetValueExA", "GetAdaptersInfo"}));
  EXPECT_EQ(counter.Next(0), std::nullopt);
  EXPECT_EQ(counter.Next(1), 31u);
  EXPECT_EQ(counter.Next(0), 5u);  // the second call; the first fault naming it wins
  EXPECT_EQ(counter.Next(1), 31u);
  EXPECT_EQ(counter.Next(0), std::nullopt);
  EXPECT_EQ(counter.Next(0), 1u);
  EXPECT_EQ(counter.Next(0), std::nullopt);
  EXPECT_EQ(counter.Next(2), std::nullopt);  // no such slot
}

TEST(FaultCalls, FailureValuesFollowEachFunctionsContract) {
  EXPECT_EQ(FindFaultCall("SetComputerNameExA")->failure, FailureValue::kZero);
  EXPECT_EQ(FindFaultCall("OpenSCManagerA")->failure, FailureValue::kZero);
  EXPECT_EQ(FindFaultCall("CreateFileA")->failure, FailureValue::kAllOnes);
  EXPECT_EQ(FindFaultCall("GetFileAttributesA")->failure, FailureValue::kAllOnes);
  EXPECT_EQ(FindFaultCall("GetMessageA")->failure, FailureValue::kAllOnes);
  EXPECT_EQ(FindFaultCall("RegSetValueExA")->failure, FailureValue::kStatus);
  EXPECT_EQ(FindFaultCall("GetAdaptersInfo")->failure, FailureValue::kStatus);
  EXPECT_EQ(FindFaultCall("CoCreateInstance")->failure, FailureValue::kStatus);
  EXPECT_EQ(FindFaultCall("GetLocalTime"), nullptr);
}

TEST(FaultCalls, ReasonsForWhatCannotBeInjected) {
  EXPECT_EQ(WhyNotInjectable("RegCreateKeyExA"), "");
  EXPECT_NE(WhyNotInjectable("IXMLDOMDocument::save").find("COM method"), std::string::npos);
  EXPECT_NE(WhyNotInjectable("Sleep").find("cannot fail"), std::string::npos);
  EXPECT_NE(WhyNotInjectable("LoadTypeLib").find("LoadTypeLibEx"), std::string::npos);
  EXPECT_NE(WhyNotInjectable("CloseHandle").find("not a Win32 function"), std::string::npos);
}

// The runner hands the device's faults to VORN.EXE as faults.txt, and
// refuses (77) a device whose faults it cannot honour.
class PrepareFaults : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    fs::create_directories(dir_ / "device");
    fs::create_directories(dir_ / "work");
    std::ofstream(dir_ / "device" / "registry.reg") << "Windows Registry Editor Version 5.00\r\n\r\n";
  }
  int Prepare(const std::string& faults) {
    std::ofstream(dir_ / "device" / "device.json") << "{\"faults\": " << faults << "}";
    testing::internal::CaptureStdout();
    const int rc = wine::Prepare(dir_ / "device", dir_ / "work");
    out_ = testing::internal::GetCapturedStdout();
    return rc;
  }
  std::string out_;
};

TEST_F(PrepareFaults, HandsInjectableFaultsOverAndRefusesOthersWithTheReason) {
  unsetenv("VORN_WINE_ARCH");
  ASSERT_EQ(Prepare(R"([{"call": "SetComputerNameExA", "occurrence": 1, "error": 5},
                         {"call": "GetAdaptersInfo", "error": 31}])"), 0) << out_;
  EXPECT_EQ(Text(dir_ / "work" / "faults.txt"), "SetComputerNameExA 1 5\nGetAdaptersInfo 0 31\n");
  ASSERT_EQ(Prepare(R"([])"), 0) << out_;
  EXPECT_EQ(Text(dir_ / "work" / "faults.txt"), "");
  EXPECT_EQ(Prepare(R"([{"call": "SetComputerNameExA", "occurrence": 1, "error": 5},
                         {"call": "IXMLDOMDocument::load", "occurrence": 1, "error": 2147500037}])"), 77);
  EXPECT_NE(out_.find("unsupported: faults (IXMLDOMDocument::load is a COM method"), std::string::npos) << out_;
  setenv("VORN_WINE_ARCH", "win32", 1);
  EXPECT_EQ(Prepare(R"([{"call": "SetComputerNameExA", "occurrence": 1, "error": 5}])"), 77);
  EXPECT_NE(out_.find("32-bit build has no failure injection"), std::string::npos) << out_;
  unsetenv("VORN_WINE_ARCH");
}

}  // namespace
}  // namespace wine
