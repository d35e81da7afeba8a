// The image engineer's preview of one boot: what VORN changed on the
// simulated device, built from the boot's journal and from the device's
// state before and after it. As text for a person and as JSON for tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/vorn-sim/boot.h"
#include "tools/vorn-sim/snapshot.h"
#include "tools/vorn-sim/xml_diff.h"

namespace sim {

// The two display lines held in a display data text of the boot
// configuration (hexadecimal digits 24 to 91: two 17-byte lines).
struct DisplayLines {
  std::string first;
  std::string second;
};

struct DisplayChange {
  std::string file;    // the Windows path of the boot configuration
  std::string element; // the path of the data element in it
  DisplayLines before;
  DisplayLines after;
};

struct PlannedFile {
  FileChange change;
  bool xml = false;  // both sides parsed as XML: `xmlDiff` holds the difference
  XmlDiff xmlDiff;
};

struct BootPlan {
  int boot = 1;  // counted from 1
  BootResult run;
  // The computer name in effect as the boot starts and as it ends, and the
  // name set for the next restart.
  std::string nameBefore;
  std::string nameAfter;
  std::optional<std::string> pendingBefore;
  std::optional<std::string> pendingAfter;
  std::optional<std::string> restartScheduled;  // after the boot
  std::vector<RegistryChange> registry;
  // Values the boot wrote with the data they already had.
  std::vector<RegistryChange> rewrittenValues;
  std::vector<PlannedFile> files;
  std::vector<std::string> rewrittenFiles;  // written with the bytes they had
  std::vector<DisplayChange> display;
  bool changed = false;
};

// Builds the plan of a boot that ran between the two states. `before` is
// the state as the boot found it (a scheduled restart taken as done).
BootPlan MakeBootPlan(int boot, const DeviceSnapshot& before, const DeviceSnapshot& after,
                      BootResult run);

// The display lines of a display data text, or nothing when the text is
// not one (hexadecimal digits only, at least 92 of them).
std::optional<DisplayLines> ReadDisplayLines(const std::string& data);

// One line of what the boot changed: "computer name set to KQ5_12AB3C,
// restart requested, UPnP re-registered, 3 registry values, 1 file", or
// "nothing".
std::string ChangeSummary(const BootPlan& plan);

// The plan of one boot as text, several lines, ending in a line break.
std::string PlanText(const BootPlan& plan);
Json PlanJson(const BootPlan& plan);

}  // namespace sim
