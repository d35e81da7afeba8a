// The simulated device: a folder holding registry.reg, device.json, the
// drive folders and journal.jsonl. Device loads the folder, carries the
// machine's state while the system runs on it, keeps the journal of what the
// device shows the outside world, injects failures into port calls, and
// writes the new state back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "os/sim/hive.h"
#include "os/types.h"

namespace sim {

using Json = nlohmann::ordered_json;

struct SimAdapter {
  std::string description;
  std::vector<std::uint8_t> address;
};

struct SimEwfVolume {
  std::uint32_t state = 0;
  bool openFails = false;
  std::optional<std::uint32_t> configFails;  // last-error code
  std::optional<std::uint32_t> closeFails;   // last-error code
};

struct SimUpnp {
  bool library = true;
  std::optional<std::int32_t> unregisterResult = 0;  // null: entry missing
  std::optional<std::int32_t> registerResult = 0;
  bool tool = true;
  bool toolStartable = true;
  std::optional<double> toolRunsSeconds = 2.0;  // null: never ends
};

struct SimMessage {
  enum Kind { kTimeChange, kMessage, kQuit } kind = kMessage;
  std::uint32_t value = 0;  // new time-zone id, or message id
};

struct SimServiceControl {
  std::string at;  // "duringJob" or "inWatch"
  std::uint32_t code = 0;
};

struct SimFault {
  std::string call;
  std::uint32_t occurrence = 0;  // 0: every call
  std::uint32_t error = 0;
};

// Everything device.json describes. Field names follow the file.
struct DeviceState {
  std::string imagePath = "C:\\WINDOWS\\system32\\VORN.EXE";
  std::string startedBy = "hand";
  std::string hostName = "QZ_IPC";
  std::optional<std::string> pendingHostName;
  std::vector<SimAdapter> adapters;
  std::optional<std::uint32_t> adaptersError;
  std::uint32_t fbwfCurrent = 0;
  std::uint32_t fbwfNext = 0;
  std::optional<std::uint32_t> fbwfStatus;
  std::optional<std::vector<SimEwfVolume>> ewf;
  std::uint32_t timeZoneId = 1;
  std::int32_t daylightBias = -60;
  std::int64_t localTimeMs = 0;  // milliseconds since 1601-01-01, local
  bool shutdownPrivilege = true;
  std::optional<std::string> restartScheduled;
  std::optional<std::string> shutdownInProgress;
  SimUpnp upnp;
  std::vector<SimMessage> messages;
  std::vector<SimServiceControl> serviceControls;
  std::vector<std::string> protectedKeys;
  // Files carrying the read-only attribute, as "C:\\..." paths.
  std::vector<std::string> readOnlyFiles;
  std::vector<SimFault> faults;
  std::map<std::uint32_t, std::string> strings = {{100, "VORN"}};

  // Power cut (sim_files.cpp): the power fails after this many disk steps
  // of the run (file written, flushed, renamed, deleted); null: never.
  std::optional<std::uint32_t> powerCutAfter;
  // {"powerCut": {"after": N, "registry": true}}: every registry change and
  // every computer name set count as steps as well, so that the power can
  // fail between two registry writes.
  bool powerCutCountsRegistry = false;
};

// A local calendar time, as SYSTEMTIME carries it (without the weekday).
struct CalendarTime {
  int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Milliseconds since 1601-01-01 00:00 for a valid calendar time (years
// 1601 to 30827, days the month has); false otherwise.
bool CalendarToMs(const CalendarTime& time, std::int64_t* ms);
CalendarTime MsToCalendar(std::int64_t ms);

// "2026-01-15T08:00:00.000" <-> milliseconds since 1601-01-01.
bool ParseLocalTime(const std::string& text, std::int64_t* ms);
std::string FormatLocalTime(std::int64_t ms);

// Hex text of bytes, lower case without separators ("0a1b").
std::string HexBytes(const std::uint8_t* data, std::size_t size);

class Device {
 public:
  // Reads the folder. False with a message when a file is missing or not
  // understood.
  bool Load(const std::filesystem::path& folder, std::string* error);

  // Writes registry.reg and device.json back when they changed, and appends
  // the journal. False with a message when a file could not be written.
  bool Save(std::string* error);

  // A scheduled restart happened between two runs: the pending name takes
  // effect and the schedule is cleared.
  void ApplyRestartBetweenRuns();

  DeviceState& state() { return state_; }
  Hive& hive() { return hive_; }
  const std::filesystem::path& folder() const { return folder_; }

  // Appends one record; echoes it readably on standard error when echo is on.
  void Journal(Json record);
  std::vector<Json> JournalRecords();
  void set_echo(bool echo) { echo_ = echo; }
  // vorn-sim passes the device's standard output through to its own.
  bool echo() const { return echo_; }

  // Counts a call of the named platform function and returns the injected
  // error when a fault matches this occurrence. Every call is recorded in
  // calls() in order.
  std::optional<os::Status> Fault(const std::string& call);
  std::vector<std::string> calls();

  // Called with the function's name at the start of every Fault(), on the
  // calling thread and outside the device's locks: the simulated service
  // control manager delivers controls through it while the job runs. Set
  // and cleared only while no other thread uses the device.
  void set_call_observer(std::function<void(const std::string&)> observer) {
    callObserver_ = std::move(observer);
  }

  // The file on the device for a Windows path ("C:\\x\\y", "\\x" on the
  // current drive C:), matched without regard to case component by
  // component; components that do not exist keep the case given.
  std::filesystem::path HostPath(const std::string& windowsPath);

  void MarkRegistryChanged() { registryChanged_ = true; }
  void MarkStateChanged() { stateChanged_ = true; }

  std::mutex& mutex() { return mutex_; }

  // --- Disk and power cut (defined in sim_files.cpp) ---
  // False once the power has failed: the disk takes no more steps.
  bool PowerOn();
  // Records one completed disk step; the power fails after the step that
  // device.json names. `host` is the file the step touched.
  void DiskStep(const std::string& what);
  // Files written but not yet flushed: a power cut leaves them short.
  void MarkUnflushed(const std::filesystem::path& host);
  void MarkFlushed(const std::filesystem::path& host);
  void MarkRenamed(const std::filesystem::path& from, const std::filesystem::path& to);
  // The read-only attribute of a file of the drive folders; a rename
  // carries it to the new name.
  bool ReadOnly(const std::filesystem::path& host);
  void MoveReadOnly(const std::filesystem::path& from, const std::filesystem::path& to);

 private:
  struct PowerCut {
    std::optional<std::string> registry;  // registry.reg at the cut, if changed
    DeviceState state;
  };
  std::optional<PowerCut> cut_;
  std::uint32_t diskSteps_ = 0;
  std::vector<std::filesystem::path> unflushed_;

  std::filesystem::path folder_;
  DeviceState state_;
  Json json_;  // device.json as read, for the fields this program keeps
  Hive hive_;
  std::vector<Json> journal_;
  std::size_t journalSaved_ = 0;
  std::map<std::string, std::uint32_t> callCounts_;
  // Each call as its name's entry in callCounts_ (map entries stay put): a
  // search through a large boot configuration makes millions of calls.
  std::vector<const std::string*> calls_;
  bool echo_ = false;
  bool registryChanged_ = false;
  bool stateChanged_ = false;
  std::function<void(const std::string&)> callObserver_;
  std::recursive_mutex journalMutex_;
  std::mutex mutex_;
};

// The whole file, as bytes. False when it cannot be opened.
bool ReadFileBytes(const std::filesystem::path& path, std::string* bytes);

}  // namespace sim
