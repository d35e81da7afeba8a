#include "tasks/write_filter_dst/write_filter.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/support/testing.h"

namespace vorn {
namespace {

using sim::TestDevice;

std::vector<std::string> EwfCalls(TestDevice& device) {
  std::vector<std::string> out;
  for (const auto& c : device.device().calls()) {
    if (c.rfind("Ewf", 0) == 0 || c == "LocalFree") out.push_back(c);
  }
  return out;
}

long Count(const std::vector<std::string>& calls, const std::string& name) {
  return std::count(calls.begin(), calls.end(), name);
}

bool Active(const std::string& deviceJson) {
  TestDevice device("", deviceJson);
  return IsWriteFilterActive(device.platform());
}

TEST(WriteFilter, FbwfCountsOnlyTheRunningSystem) {
  TestDevice onNow("", R"({"fbwf": {"current": 1, "next": 0}, "ewf": [{"state": 1}]})");
  EXPECT_TRUE(IsWriteFilterActive(onNow.platform()));
  EXPECT_TRUE(EwfCalls(onNow).empty()) << "EWF must not be asked when FBWF is on";

  TestDevice onLater("", R"({"fbwf": {"current": 0, "next": 1}})");
  EXPECT_FALSE(IsWriteFilterActive(onLater.platform()));
  EXPECT_EQ(EwfCalls(onLater), std::vector<std::string>{"EwfMgrGetProtectedVolumeList"});
}

TEST(WriteFilter, FailingFbwfQueryLeavesTheAnswerToEwf) {
  EXPECT_TRUE(Active(R"({"fbwf": {"status": 2, "current": 1}, "ewf": [{"state": 0}]})"));
  EXPECT_FALSE(Active(R"({"fbwf": {"status": 2, "current": 1}, "ewf": [{"state": 1}]})"));
  TestDevice injected("", R"({"fbwf": {"current": 1},
      "faults": [{"call": "FbwfIsFilterEnabled", "error": 50}]})");
  EXPECT_FALSE(IsFbwfEnabled(injected.platform()));
  // A status of 0 is a successful query.
  EXPECT_TRUE(Active(R"({"fbwf": {"status": 0, "current": 1}})"));
}

TEST(WriteFilter, LastVolumeWithAKnownStateDecides) {
  EXPECT_FALSE(Active(R"({})"));
  EXPECT_FALSE(Active(R"({"ewf": null})"));
  EXPECT_FALSE(Active(R"({"ewf": []})"));
  EXPECT_TRUE(Active(R"({"ewf": [{"state": 0}]})"));
  EXPECT_FALSE(Active(R"({"ewf": [{"state": 1}]})"));
  EXPECT_FALSE(Active(R"({"ewf": [{"state": 0}, {"state": 1}]})"));
  EXPECT_TRUE(Active(R"({"ewf": [{"state": 1}, {"state": 0}]})"));
  EXPECT_TRUE(Active(R"({"ewf": [{"state": 0}, {"state": 7}]})"));
  EXPECT_FALSE(Active(R"({"ewf": [{"state": 7}]})"));
}

TEST(WriteFilter, EveryVolumeIsOpenedReadAndClosedInTurn) {
  TestDevice device("", R"({"ewf": [{"state": 0}, {"state": 1}, {"state": 0}]})");
  EXPECT_TRUE(IsEwfEnabled(device.platform()));
  std::vector<std::string> volume = {"EwfMgrVolumeNameListIsEmpty", "EwfMgrOpenProtected",
                                     "EwfMgrGetProtectedVolumeConfig", "LocalFree",
                                     "EwfMgrClose", "EwfMgrVolumeNameEntryPop"};
  std::vector<std::string> expected = {"EwfMgrGetProtectedVolumeList"};
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), volume.begin(), volume.end());
  expected.push_back("EwfMgrVolumeNameListIsEmpty");
  EXPECT_EQ(EwfCalls(device), expected);  // no delete: nothing is left of the list
  EXPECT_TRUE(device.Records("stdout").empty());
}

TEST(WriteFilter, FailingOpenAfterAnEnabledVolumeIsFalseAndSilent) {
  TestDevice device("", R"({"ewf": [{"state": 0}, {"openFails": true}, {"state": 0}]})");
  EXPECT_FALSE(IsWriteFilterActive(device.platform()));
  EXPECT_TRUE(device.Records("stdout").empty());
  const auto calls = EwfCalls(device);
  EXPECT_EQ(Count(calls, "EwfMgrOpenProtected"), 2);
  EXPECT_EQ(calls.back(), "EwfMgrVolumeNameListDelete");
  EXPECT_EQ(Count(calls, "EwfMgrClose"), 1);  // only the first, open volume
}

TEST(WriteFilter, ConfigFailurePrintsTheCodeAndReleasesListAndHandle) {
  TestDevice device("", R"({"ewf": [{"state": 0}, {"configFails": 5}, {"state": 0}]})");
  EXPECT_FALSE(IsWriteFilterActive(device.platform()));
  const auto out = device.Records("stdout");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["text"], "EwfMgrGetProtectedVolumeConfig failed LE = 5\n");
  EXPECT_EQ(out[0]["wide"], true);
  const auto calls = EwfCalls(device);
  ASSERT_GE(calls.size(), 2u);
  // The list is deleted before the still-open handle is closed.
  EXPECT_EQ(calls[calls.size() - 2], "EwfMgrVolumeNameListDelete");
  EXPECT_EQ(calls.back(), "EwfMgrClose");
  EXPECT_EQ(Count(calls, "EwfMgrClose"), 2);  // first volume, then the failed one
  EXPECT_EQ(Count(calls, "EwfMgrOpenProtected"), 2);  // the third is never reached
}

TEST(WriteFilter, CloseFailurePrintsTheCodeAndTriesTheHandleOnceMore) {
  TestDevice device("", R"({"ewf": [{"state": 0, "closeFails": 6}, {"state": 0}]})");
  EXPECT_FALSE(IsEwfEnabled(device.platform()));
  const auto out = device.Records("stdout");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["text"], "EwfMgrClose failed LE = 6\n");
  const auto calls = EwfCalls(device);
  EXPECT_EQ(Count(calls, "EwfMgrClose"), 2);
  EXPECT_EQ(Count(calls, "EwfMgrVolumeNameListDelete"), 1);
  EXPECT_EQ(Count(calls, "EwfMgrVolumeNameEntryPop"), 0);
}

TEST(WriteFilter, InjectedLibraryFailuresCountAsNoFilter) {
  TestDevice noList("", R"({"ewf": [{"state": 0}],
      "faults": [{"call": "EwfMgrGetProtectedVolumeList", "error": 1}]})");
  EXPECT_FALSE(IsEwfEnabled(noList.platform()));
  TestDevice config("", R"({"ewf": [{"state": 0}, {"state": 0}],
      "faults": [{"call": "EwfMgrGetProtectedVolumeConfig", "occurrence": 2, "error": 1117}]})");
  EXPECT_FALSE(IsEwfEnabled(config.platform()));
  ASSERT_EQ(config.Records("stdout").size(), 1u);
  EXPECT_EQ(config.Records("stdout")[0]["text"],
            "EwfMgrGetProtectedVolumeConfig failed LE = 1117\n");
}

}  // namespace
}  // namespace vorn
