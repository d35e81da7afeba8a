// The service host: status reports around the job, controls, and the
// fallback to process mode, on the simulated device.
#include "host/service_module.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/reg_access.h"
#include "tests/support/testing.h"
#include "tests/support/image_info_registry.h"

namespace vorn {
namespace {

const std::string kImageInfo = sim::ImageInfoRegistry({"IPC", "CX5020", "2.1", ""});

bool IsFinalEvent(const sim::Json& r) {
  return r["kind"] == "event" && (r["text"] == "VORN completed successfully" ||
                                  r["text"] == "One or more tasks where not executed properly.");
}

// A device on which "Service" has run; the next run is the service control
// manager's start with these scripted controls.
std::unique_ptr<sim::TestDevice> InstalledService(std::vector<sim::SimServiceControl> controls,
                                                  const std::string& deviceJson = "{}") {
  auto device = std::make_unique<sim::TestDevice>(kImageInfo, deviceJson);
  EXPECT_EQ(device->Run("-Service"), 0);
  device->device().state().startedBy = "scm";
  device->device().state().serviceControls = std::move(controls);
  return device;
}

std::vector<std::string> States(sim::TestDevice& device) {
  std::vector<std::string> states;
  for (auto& r : device.Records("serviceStatus")) {
    EXPECT_EQ(r["checkPoint"], 0);
    EXPECT_EQ(r["waitHint"], 0);
    EXPECT_EQ(r["exitCode"], 0);
    states.push_back(r["state"]);
  }
  return states;
}

using States_ = std::vector<std::string>;

TEST(ServiceControl, StartedAsAServiceItReportsStartRunningStopped) {
  auto device = InstalledService({});
  EXPECT_EQ(device->Run(), 0);
  EXPECT_EQ(States(*device),
            (States_{"SERVICE_START_PENDING", "SERVICE_RUNNING", "SERVICE_STOPPED"}));
  // The job ran between RUNNING and STOPPED.
  auto journal = device->device().JournalRecords();
  std::size_t running = 0, final = 0, stopped = 0;
  for (std::size_t i = 0; i < journal.size(); ++i) {
    if (journal[i]["kind"] == "serviceStatus" && journal[i]["state"] == "SERVICE_RUNNING") running = i;
    if (IsFinalEvent(journal[i])) final = i;
    if (journal[i]["kind"] == "serviceStatus" && journal[i]["state"] == "SERVICE_STOPPED") stopped = i;
  }
  EXPECT_LT(running, final);
  EXPECT_LT(final, stopped);
}

TEST(ServiceControl, AStopDuringTheTasksIsPendingUntilTheJobHasFinished) {
  auto device = InstalledService({{"duringJob", 1}});
  EXPECT_EQ(device->Run(), 0);
  EXPECT_EQ(States(*device), (States_{"SERVICE_START_PENDING", "SERVICE_RUNNING",
                                      "SERVICE_STOP_PENDING", "SERVICE_STOPPED"}));
  // STOP_PENDING at once: before anything else the job does after RUNNING;
  // the tasks and the final event still follow.
  auto journal = device->device().JournalRecords();
  std::size_t running = 0;
  while (running < journal.size() && journal[running]["state"] != "SERVICE_RUNNING") ++running;
  ASSERT_LT(running + 2, journal.size());
  EXPECT_EQ(journal[running + 1]["kind"], "serviceControl");
  EXPECT_EQ(journal[running + 2]["state"], "SERVICE_STOP_PENDING");
  std::size_t finals = 0;
  for (std::size_t i = running + 3; i < journal.size(); ++i) {
    if (IsFinalEvent(journal[i])) {
      ++finals;
      EXPECT_EQ(journal[i + 1]["state"], "SERVICE_STOPPED");
    }
  }
  EXPECT_EQ(finals, 1u);
}

TEST(ServiceControl, AUserControlCodeIsABadRequestUnderTheServiceName) {
  auto device = InstalledService({{"duringJob", 128}, {"duringJob", 4}},
                                 R"({"strings": {"100": "VORNSVC"}})");
  EXPECT_EQ(device->Run(), 0);
  int bad = 0;
  for (auto& r : device->Records("event")) {
    if (r["text"] == "Bad service request") {
      ++bad;
      EXPECT_EQ(r["source"], "VORNSVC");
      EXPECT_EQ(r["type"], 4);
    }
  }
  EXPECT_EQ(bad, 1) << "interrogate is answered by nothing at all";
  EXPECT_EQ(States(*device),
            (States_{"SERVICE_START_PENDING", "SERVICE_RUNNING", "SERVICE_STOPPED"}));
}

TEST(ServiceControl, TheHandlerActsOnStopAndComplainsOnlyOutsideTheKnownCodes) {
  sim::TestDevice device;
  EventReporter events(device.platform().eventLog);
  os::Platform platform = device.platform();
  CServiceModule module(platform, events);
  module.Init(kServiceNameResource);
  for (std::uint32_t code : {2u, 3u, 4u, 5u}) module.Handler(code);
  EXPECT_TRUE(device.Records("event").empty());
  EXPECT_TRUE(device.Records("serviceStatus").empty());
  for (std::uint32_t code : {0u, 6u, 128u, 255u}) module.Handler(code);
  auto events_ = device.Records("event");
  ASSERT_EQ(events_.size(), 4u);
  for (auto& e : events_) EXPECT_EQ(e["text"], "Bad service request");
}

TEST(ServiceControl, WithoutAHandlerNothingIsReportedAndTheJobDoesNotRun) {
  auto device = InstalledService(
      {{"duringJob", 1}},
      R"({"faults": [{"call": "RegisterServiceCtrlHandlerA", "error": 1060}]})");
  EXPECT_EQ(device->Run(), 0);
  EXPECT_TRUE(device->Records("serviceStatus").empty());
  auto events = device->Records("event");
  ASSERT_EQ(events.size(), 1u) << "the job reported nothing";
  EXPECT_EQ(events[0]["text"], "Handler not installed");
  EXPECT_EQ(events[0]["type"], 4);
  EXPECT_EQ(events[0]["source"], "VORN");
}

TEST(ServiceControl, StartedByHandARegisteredServiceRunsTheJobInTheProcess) {
  auto device = InstalledService({});
  device->device().state().startedBy = "hand";
  EXPECT_EQ(device->Run(), 0);
  EXPECT_TRUE(device->Records("serviceStatus").empty());
  int finals = 0;
  for (auto& r : device->Records("event")) finals += IsFinalEvent(r);
  EXPECT_EQ(finals, 1);
  auto calls = device->device().calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "StartServiceCtrlDispatcherA"), calls.end())
      << "the dispatcher was tried first";
}

// The stop control's quit message ends a wait in the job thread's message
// loop (the time-change watch waits there).
TEST(ServiceControl, AStopWhileTheJobWaitsForMessagesEndsTheWait) {
  sim::TestDevice device("", R"({"startedBy": "scm",
      "serviceControls": [{"at": "inWatch", "code": 1}]})");
  EventReporter events(device.platform().eventLog);
  os::Platform platform = device.platform();
  CServiceModule module(platform, events);
  module.Init(kServiceNameResource);
  std::uint32_t message = 0;
  ASSERT_TRUE(platform.services.StartDispatcher(module.serviceName, [&] {
    module.statusHandle = platform.services.RegisterHandler(
        module.serviceName, [&](std::uint32_t control) { module.Handler(control); });
    module.threadId = platform.process.CurrentThreadId();
    module.ReportStatus(os::kServiceRunning);
    message = platform.process.GetMessage();
    module.ReportStatus(os::kServiceStopped);
  }));
  EXPECT_EQ(message, os::kWmQuit);
  EXPECT_TRUE(device.Records("idle").empty()) << "the quit came from the stop control";
  EXPECT_EQ(States(device),
            (States_{"SERVICE_RUNNING", "SERVICE_STOP_PENDING", "SERVICE_STOPPED"}));
}

// The dispatcher returns on the report of SERVICE_STOPPED, before the main
// that made it has returned; the caller then tears the module down. The
// dispatcher call must wait for the main (under the sanitizers, every service
// run above shows a use after free of the module's status lock otherwise).
TEST(ServiceControl, TheDispatcherReturnsOnlyOnceTheServiceMainHasReturned) {
  sim::TestDevice device("", R"({"startedBy": "scm"})");
  os::Platform platform = device.platform();
  std::atomic<bool> mainReturned{false};
  ASSERT_TRUE(platform.services.StartDispatcher("VORN", [&] {
    const os::StatusHandle handle = platform.services.RegisterHandler("VORN", [](std::uint32_t) {});
    os::ServiceStatus status;
    status.currentState = os::kServiceStopped;
    platform.services.SetStatus(handle, status);
    mainReturned = true;
  }));
  EXPECT_TRUE(mainReturned);
}

// What the service main throws stays out of the dispatcher: the service is
// reported stopped with a failure.
TEST(ServiceControl, AnExceptionInTheServiceMainStopsTheServiceWithAFailure) {
  sim::TestDevice device("", R"({"startedBy": "scm"})");
  os::Platform platform = device.platform();
  ASSERT_TRUE(platform.services.StartDispatcher("VORN", [&] {
    const os::StatusHandle handle = platform.services.RegisterHandler("VORN", [](std::uint32_t) {});
    os::ServiceStatus status;
    status.currentState = os::kServiceRunning;
    platform.services.SetStatus(handle, status);
    throw std::bad_alloc();
  }));
  const auto states = device.Records("serviceStatus");
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[1]["state"], "SERVICE_STOPPED");
  EXPECT_EQ(states[1]["exitCode"], os::kErrorExceptionInService);

  // Thrown before a handler exists: there is nothing to report to.
  sim::TestDevice early("", R"({"startedBy": "scm"})");
  EXPECT_TRUE(early.platform().services.StartDispatcher("VORN", [] { throw 1u; }));
  EXPECT_TRUE(early.Records("serviceStatus").empty());
}

// A handler that throws has dropped that control; the next one still comes.
TEST(ServiceControl, AnExceptionInTheHandlerDropsOnlyItsControl) {
  sim::TestDevice device("", R"({"startedBy": "scm",
      "serviceControls": [{"at": "duringJob", "code": 128}, {"at": "duringJob", "code": 129}]})");
  os::Platform platform = device.platform();
  std::vector<std::uint32_t> handled;
  ASSERT_TRUE(platform.services.StartDispatcher("VORN", [&] {
    const os::StatusHandle handle =
        platform.services.RegisterHandler("VORN", [&](std::uint32_t control) {
          handled.push_back(control);
          if (control == 128) throw std::bad_alloc();
        });
    os::ServiceStatus status;
    status.controlsAccepted = os::kServiceAcceptStop;
    status.currentState = os::kServiceRunning;
    platform.services.SetStatus(handle, status);
    os::SystemTime now;
    platform.clock.GetLocalTime(&now);  // a port call: the controls go out here
    status.currentState = os::kServiceStopped;
    platform.services.SetStatus(handle, status);
  }));
  EXPECT_EQ(handled, (std::vector<std::uint32_t>{128, 129}));
  const auto states = device.Records("serviceStatus");
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[1]["exitCode"], 0);
}

// Counts the states the reports carry, slowly enough that an unserialised
// second reporter would overwrite the record while a report is made.
class CountingServices : public os::ServiceManager {
 public:
  os::Status OpenManager(std::uint32_t, std::unique_ptr<os::ScHandle>*) override { return 5; }
  bool StartDispatcher(const std::string&, std::function<void()>) override { return false; }
  os::StatusHandle RegisterHandler(const std::string&,
                                   std::function<void(std::uint32_t)>) override {
    return 1;
  }
  bool SetStatus(os::StatusHandle, const os::ServiceStatus& status) override {
    const std::uint32_t before = status.currentState;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (status.currentState != before) ++torn;
    ++counts[before];
    return true;
  }
  std::atomic<int> torn{0};
  std::map<std::uint32_t, std::atomic<int>> counts;
};

TEST(ServiceControl, HandlerAndJobReportsAreSerialised) {
  sim::TestDevice device;
  sim::SimPlatform& s = device.sim();
  CountingServices services;
  services.counts[os::kServiceRunning];
  services.counts[os::kServiceStopPending];
  os::Platform platform{s.registry, s.eventLog, s.process, s.text,  s.ui,
                        s.com,      services,   s.network, s.power, s.modules,
                        s.files,    s.clock,    s.writeFilters};
  EventReporter events(platform.eventLog);
  CServiceModule module(platform, events);
  module.Init(kServiceNameResource);
  module.statusHandle = 1;
  constexpr int kReports = 200;
  std::thread job([&] {
    for (int i = 0; i < kReports; ++i) module.ReportStatus(os::kServiceRunning);
  });
  for (int i = 0; i < kReports; ++i) module.ReportStatus(os::kServiceStopPending);
  job.join();
  EXPECT_EQ(services.torn, 0);
  EXPECT_EQ(services.counts[os::kServiceRunning], kReports);
  EXPECT_EQ(services.counts[os::kServiceStopPending], kReports);
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

// The whole service under an active write filter with the DST patch on: the
// job stays in the time-change watch, follows a time change, and the stop
// control ends it.
TEST(ServiceControl, AStopEndsTheTimeChangeWatchOfTheServiceJob) {
  auto device = InstalledService(
      {{"inWatch", os::kServiceControlStop}},
      R"({"fbwf": {"current": 1, "next": 1}, "timeZone": {"id": 1, "daylightBias": -60},
          "messages": [{"timeChange": 2}]})");
  // "Service" ran under the filter as a verb; the DST switch is made here.
  device->device().hive().Create({u"SOFTWARE", u"DSTPatch"}, false, nullptr);
  device->device().hive().Create({u"SOFTWARE", u"Talvenor"}, false, nullptr);
  RegAccess reg(device->sim().registry, device->sim().process);
  ASSERT_TRUE(reg.WriteDword(os::RootKey::kLocalMachine, "SOFTWARE\\DSTPatch", "enableDSTPatch", 1));
  ASSERT_TRUE(reg.WriteDword(os::RootKey::kLocalMachine, "SOFTWARE\\DSTPatch", "DST", 1));
  ASSERT_TRUE(reg.WriteDword(os::RootKey::kLocalMachine, "SOFTWARE\\Talvenor", "DST", 1));
  const std::size_t eventsBefore = device->Records("event").size();

  EXPECT_EQ(device->Run(), 0);
  EXPECT_EQ(States(*device), (States_{"SERVICE_START_PENDING", "SERVICE_RUNNING",
                                      "SERVICE_STOP_PENDING", "SERVICE_STOPPED"}));
  EXPECT_EQ(device->Records("event").size(), eventsBefore) << "no event on the watch path";
  EXPECT_TRUE(device->Records("idle").empty()) << "the stop ended the watch";
  std::uint32_t recorded = 0;
  RegAccess after(device->sim().registry, device->sim().process);  // the run's platform
  EXPECT_TRUE(after.ReadDword(os::RootKey::kLocalMachine, "SOFTWARE\\DSTPatch", "DST", &recorded));
  EXPECT_EQ(recorded, 2u) << "the time change was followed before the stop";
}

}  // namespace
}  // namespace vorn
