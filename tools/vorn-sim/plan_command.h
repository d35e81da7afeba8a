// vorn-sim plan and --until-steady: boots of the simulated device run one
// after another, each described by its plan.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/vorn-sim/boot.h"
#include "tools/vorn-sim/plan.h"

namespace sim {

// A device that still changes something on this boot never settles.
constexpr int kMaxBoots = 10;

// Runs boots on the folder, each after the restart the previous one asked
// for, handing each plan to `each`: one boot, or with `untilSteady` until a
// boot changes nothing or kMaxBoots have run. *steady tells whether the
// last boot changed nothing. Returns 0, or vorn-sim's exit code for a boot
// that could not run, with *error set.
int RunBoots(const std::filesystem::path& folder, const BootOptions& options,
             const Program& program, bool untilSteady,
             const std::function<void(const BootPlan&)>& each, bool* steady,
             std::string* error);

// vorn-sim plan [--until-steady] [--json] [--scm] DEVICE_DIR [ARGS...]
// (`arguments` after "plan"): the boots run on a private copy of the folder
// and their plans are printed. Returns 0 when nothing would change, 1 when
// something would, 2 on trouble (bad options, an unreadable folder, a
// device that never settles).
int PlanCommand(const std::vector<std::string>& arguments, const Program& program);

// The plain run with --until-steady: boots on the folder itself, each
// echoed, then what each changed on standard error. Returns the last
// boot's exit code, kExitSoftware when the device never settles, or
// vorn-sim's exit code for a boot that could not run.
int RunUntilSteady(const std::filesystem::path& folder, const BootOptions& options,
                   const Program& program);

}  // namespace sim
