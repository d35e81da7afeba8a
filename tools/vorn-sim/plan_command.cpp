#include "tools/vorn-sim/plan_command.h"

#include <stdlib.h>

#include <iostream>

#include "tools/vorn-sim/assumptions.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr int kPlanNothing = 0;
constexpr int kPlanChanges = 1;
constexpr int kPlanTrouble = 2;

constexpr char kUsage[] =
    "usage: vorn-sim plan [--until-steady] [--json] [--scm] [--adapter MAC[,DESCRIPTION]]...\n"
    "                     [--host-name NAME] DEVICE_DIR [ARGS...]\n"
    "Shows what VORN would change on the device folder DEVICE_DIR, run on a\n"
    "private copy (the folder is not written). The plan opens with the device\n"
    "conditions it assumed because the folder does not give them.\n"
    "  --adapter MAC[,DESCRIPTION]  a network adapter of the device instead of\n"
    "                               device.json's, e.g. 00-01-05-12-AB-3C,Intel(R) PRO/100;\n"
    "                               repeat it for more, in GetAdaptersInfo's order\n"
    "  --host-name NAME             the computer name the device boots with\n"
    "Exit code 0: nothing would change, 1: something would, 2: trouble.\n";

struct PlanOptions {
  bool untilSteady = false;
  bool json = false;
  fs::path folder;
  BootOptions boot;
  DeviceOverrides overrides;
};

// --adapter and --host-name with their value at arguments[*i + 1].
bool ParseOverride(const std::vector<std::string>& arguments, std::size_t* i,
                   DeviceOverrides* overrides, std::string* error) {
  const std::string& option = arguments[*i];
  if (*i + 1 == arguments.size()) {
    *error = option + " needs a value";
    return false;
  }
  const std::string& value = arguments[++*i];
  if (option == "--host-name") {
    overrides->hostName = value;
    return CheckHostNameOption(value, error);
  }
  Json adapter;
  if (!ParseAdapterOption(value, &adapter, error)) return false;
  overrides->adapters.push_back(adapter);
  return true;
}

bool ParsePlanOptions(const std::vector<std::string>& arguments, PlanOptions* options,
                      std::string* error) {
  std::size_t i = 0;
  for (; i < arguments.size() && arguments[i].rfind("--", 0) == 0; ++i) {
    if (arguments[i] == "--until-steady") {
      options->untilSteady = true;
    } else if (arguments[i] == "--json") {
      options->json = true;
    } else if (arguments[i] == "--scm") {
      options->boot.scm = true;
    } else if (arguments[i] == "--adapter" || arguments[i] == "--host-name") {
      if (!ParseOverride(arguments, &i, &options->overrides, error)) return false;
    } else {
      *error = "unknown option " + arguments[i];
      return false;
    }
  }
  if (i == arguments.size()) {
    *error = "no device folder given";
    return false;
  }
  options->folder = arguments[i];
  options->boot.arguments.assign(arguments.begin() + static_cast<long>(i) + 1, arguments.end());
  return true;
}

// A copy of the device folder in a new temporary folder, without its
// journal. Links are followed, so that nothing the boots write can reach
// the original through one.
bool PrivateCopy(const fs::path& folder, fs::path* copy, std::string* error) {
  if (!fs::is_directory(folder)) {
    *error = folder.string() + " is not a device folder";
    return false;
  }
  std::string pattern = (fs::temp_directory_path() / "vorn-plan-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    *error = "cannot make a temporary folder";
    return false;
  }
  *copy = pattern;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().filename() == "journal.jsonl") continue;
    fs::copy(entry.path(), *copy / entry.path().filename(), fs::copy_options::recursive, ec);
    if (ec) break;
  }
  if (ec) *error = "cannot copy " + folder.string() + ": " + ec.message();
  return !ec;
}

std::string NotSettled(int boots, const std::string& summary) {
  return "the device did not settle in " + std::to_string(boots) + " boots: boot " +
         std::to_string(boots) + " still had something to do: " + summary;
}

// What the boots amounted to.
struct Outcome {
  int boots = 0;
  bool changed = false;  // some boot changed something
  bool steady = false;
  std::string lastSummary;
  std::vector<std::string> summaries;
  Json plans = Json::array();
  std::vector<Assumption> assumed;
};

int Verdict(const Outcome& o, bool untilSteady, int failed) {
  if (failed || (untilSteady && !o.steady)) return kPlanTrouble;
  return o.changed ? kPlanChanges : kPlanNothing;
}

void PrintText(const PlanOptions& options, const Outcome& o, const std::string& error) {
  if (!error.empty()) {
    std::cerr << "vorn-sim: " << error << "\n";
    return;
  }
  if (!options.untilSteady) return;
  std::cout << "Steady after " << o.boots << " boot" << (o.boots > 1 ? "s" : "") << ":\n";
  for (std::size_t i = 0; i < o.summaries.size(); ++i) {
    std::cout << "  boot " << i + 1 << ": " << o.summaries[i] << "\n";
  }
}

void PrintJson(const PlanOptions& options, const Outcome& o, const std::string& error,
               int code) {
  Json assumed = Json::array();
  for (const Assumption& a : o.assumed) assumed.push_back({{"field", a.field}, {"text", a.text}});
  Json document = {{"device", options.folder.string()},
                   {"untilSteady", options.untilSteady},
                   {"assumed", assumed},
                   {"boots", o.plans},
                   {"steady", o.steady},
                   {"changes", o.changed},
                   {"exitCode", code}};
  if (!error.empty()) document["error"] = error;
  std::cout << document.dump(2) << "\n";
  if (!error.empty()) std::cerr << "vorn-sim: " << error << "\n";
}

std::string AssumedText(const std::vector<Assumption>& assumed) {
  if (assumed.empty()) return "";
  std::string text = "Assumed, because the device folder does not say:\n";
  for (const Assumption& a : assumed) text += "  " + a.field + ": " + a.text + "\n";
  return text;
}

// Runs the boots on the private copy, printing each plan as it comes after
// what the copy leaves to the defaults.
int PlanOnCopy(const PlanOptions& options, const fs::path& copy, const Program& program,
               Outcome* o, std::string* error) {
  if (!ApplyOverrides(copy, options.overrides, error)) return kExitIoError;
  if (!DeviceAssumptions(copy, &o->assumed, error)) return kExitDataError;
  if (!options.json) std::cout << AssumedText(o->assumed) << std::flush;
  auto each = [&](const BootPlan& plan) {
    o->boots = plan.boot;
    o->changed = o->changed || plan.changed;
    o->lastSummary = ChangeSummary(plan);
    o->summaries.push_back(o->lastSummary);
    if (options.json) {
      o->plans.push_back(PlanJson(plan));
    } else {
      std::cout << PlanText(plan) << std::flush;
    }
  };
  const int failed =
      RunBoots(copy, options.boot, program, options.untilSteady, each, &o->steady, error);
  if (!failed && options.untilSteady && !o->steady) *error = NotSettled(o->boots, o->lastSummary);
  return failed;
}

}  // namespace

int PlanCommand(const std::vector<std::string>& arguments, const Program& program) {
  PlanOptions options;
  std::string error;
  if (!arguments.empty() && arguments[0] == "--help") {
    std::cout << kUsage;
    return kPlanNothing;
  }
  if (!ParsePlanOptions(arguments, &options, &error)) {
    std::cerr << "vorn-sim plan: " << error << "\n" << kUsage;
    return kPlanTrouble;
  }
  Outcome outcome;
  fs::path copy;
  int failed = PrivateCopy(options.folder, &copy, &error) ? 0 : kExitIoError;
  if (!failed) failed = PlanOnCopy(options, copy, program, &outcome, &error);
  std::error_code ec;
  if (!copy.empty()) {
    fs::remove_all(copy, ec);
    // Messages about the copy's files name the device folder's.
    for (auto at = error.find(copy.string()); at != std::string::npos;
         at = error.find(copy.string(), at)) {
      error.replace(at, copy.string().size(), options.folder.string());
    }
  }
  const int code = Verdict(outcome, options.untilSteady, failed);
  if (options.json) {
    PrintJson(options, outcome, error, code);
  } else {
    PrintText(options, outcome, error);
  }
  return code;
}

int RunBoots(const fs::path& folder, const BootOptions& options, const Program& program,
             bool untilSteady, const std::function<void(const BootPlan&)>& each, bool* steady,
             std::string* error) {
  *steady = false;
  for (int boot = 1; boot <= kMaxBoots; ++boot) {
    DeviceSnapshot before, after;
    if (!TakeSnapshot(folder, true, &before, error)) return kExitDataError;
    BootResult run;
    if (int failed = RunBoot(folder, options, program, &run, error)) return failed;
    if (!TakeSnapshot(folder, false, &after, error)) return kExitDataError;
    const BootPlan plan = MakeBootPlan(boot, before, after, std::move(run));
    each(plan);
    *steady = !plan.changed;
    if (*steady || !untilSteady) break;
  }
  return 0;
}

int RunUntilSteady(const fs::path& folder, const BootOptions& options,
                   const Program& program) {
  int code = 0, boots = 0;
  std::string summary, error;
  bool steady = false;
  auto each = [&](const BootPlan& plan) {
    code = plan.run.exitCode;
    boots = plan.boot;
    summary = ChangeSummary(plan);
    std::cerr << "vorn-sim: boot " << plan.boot << ": " << summary << "\n";
  };
  if (int failed = RunBoots(folder, options, program, true, each, &steady, &error)) {
    std::cerr << "vorn-sim: " << error << "\n";
    return failed;
  }
  if (!steady) {
    std::cerr << "vorn-sim: " << NotSettled(boots, summary) << "\n";
    return kExitSoftware;
  }
  std::cerr << "vorn-sim: steady after " << boots << " boot" << (boots > 1 ? "s" : "") << "\n";
  return code;
}

}  // namespace sim
