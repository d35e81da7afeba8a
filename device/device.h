// The simulated device: a folder holding registry.reg, device.json, the
// drive folders and journal.jsonl. Device loads the folder, carries the
// machine's state while the system runs on it, and writes the new state
// back. What else it does lives in a file of its own, named in the groups
// below: the journal, fault injection, the power cut, the files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/hive.h"
#include "device/journal.h"
#include "os/types.h"

namespace sim {

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

// An installed service whose process runs when the run starts (the DST
// watch of an earlier start, say): a stop control ends it `stopMs` of device
// time later.
struct SimRunningService {
  std::string name;
  std::uint32_t stopMs = 0;
};

struct SimFault {
  std::string call;
  std::uint32_t occurrence = 0;  // 0: every call
  std::uint32_t error = 0;
};

// Everything device.json describes. Field names follow the file; each
// section's reader is listed in device_json.h.
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
  std::vector<SimRunningService> runningServices;
  std::vector<std::string> protectedKeys;
  // Files carrying the read-only attribute, as "C:\\..." paths.
  std::vector<std::string> readOnlyFiles;
  std::vector<SimFault> faults;
  std::map<std::uint32_t, std::string> strings = {{100, "VORN"}};

  // Power cut (power_cut.cpp): the power fails after this many disk steps
  // of the run (file written, flushed, renamed, deleted); null: never.
  std::optional<std::uint32_t> powerCutAfter;
  // {"powerCut": {"after": N, "registry": true}}: every registry change and
  // every computer name set count as steps as well, so that the power can
  // fail between two registry writes.
  bool powerCutCountsRegistry = false;
};

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

  void MarkRegistryChanged() { registryChanged_ = true; }
  void MarkStateChanged() { stateChanged_ = true; }

  // Held while the hive changes: the job's and the service's threads both
  // reach the registry.
  std::mutex& mutex() { return mutex_; }

  // --- The journal (journal.cpp) ---
  // Appends one record; echoes it readably on standard error when echo is on.
  void Journal(Json record);
  std::vector<Json> JournalRecords();
  void set_echo(bool echo) { journal_.set_echo(echo); }
  // vorn-sim passes the device's standard output through to its own.
  bool echo() const { return journal_.echo(); }

  // --- Fault injection (fault_injection.cpp) ---
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

  // --- Registry access (registry_access.cpp); caller holds mutex() ---
  // The key's full name under HKEY_LOCAL_MACHINE, in the case stored for
  // the parts that exist.
  std::string KeyName(const std::vector<std::u16string>& path);
  // Whether device.json's "protectedKeys" names the key (given under
  // HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT): it refuses writes with 5.
  bool KeyProtected(const std::vector<std::u16string>& path);

  // --- Files (drives.cpp) ---
  // The file on the device for a Windows path ("C:\\x\\y", "\\x" on the
  // current drive C:), matched without regard to case component by
  // component; components that do not exist keep the case given.
  std::filesystem::path HostPath(const std::string& windowsPath);
  // The read-only attribute of a file of the drive folders; a rename
  // carries it to the new name.
  bool ReadOnly(const std::filesystem::path& host);
  void MoveReadOnly(const std::filesystem::path& from, const std::filesystem::path& to);

  // --- Disk and power cut (power_cut.cpp) ---
  // False once the power has failed: the disk takes no more steps.
  bool PowerOn();
  // Records one completed disk step; the power fails after the step that
  // device.json names.
  void DiskStep(const std::string& what);
  // Files written but not yet flushed: a power cut leaves them short.
  void MarkUnflushed(const std::filesystem::path& host);
  void MarkFlushed(const std::filesystem::path& host);
  void MarkRenamed(const std::filesystem::path& from, const std::filesystem::path& to);

 private:
  struct PowerCut {
    std::optional<std::string> registry;  // registry.reg at the cut, if changed
    DeviceState state;
  };
  // Save after a cut: registry.reg and the state as they stood at the cut.
  bool KeepStateAtCut(std::string* error);
  bool SaveDeviceJson(std::string* error);

  std::filesystem::path folder_;
  DeviceState state_;
  Json json_;  // device.json as read, for the fields this program keeps
  Hive hive_;
  bool registryChanged_ = false;
  bool stateChanged_ = false;
  std::mutex mutex_;

  // Port calls come from the job's and the service's threads: the journal,
  // the call counts and the power cut change together under this lock
  // (recursive: a disk step journals the cut).
  std::recursive_mutex runMutex_;
  RunJournal journal_;
  std::map<std::string, std::uint32_t> callCounts_;
  // Each call as its name's entry in callCounts_ (map entries stay put): a
  // search through a large boot configuration makes millions of calls.
  std::vector<const std::string*> calls_;
  std::function<void(const std::string&)> callObserver_;
  std::optional<PowerCut> cut_;
  std::uint32_t diskSteps_ = 0;
  std::vector<std::filesystem::path> unflushed_;
};

}  // namespace sim
