#include "os/sim/device.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "os/sim/journal_text.h"
#include "os/sim/reg_file.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

// Days from 0000-03-01 to the civil date (proleptic Gregorian).
std::int64_t RawDays(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe);
}

const std::int64_t kEpoch1601 = RawDays(1601, 1, 1);

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  return RawDays(y, m, d) - kEpoch1601;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += kEpoch1601;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

// Writes through a temporary file and a rename so that an interrupted
// vorn-sim never leaves a half-written device file.
bool WriteFileAtomic(const fs::path& path, const std::string& bytes) {
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  return !ec;
}

// The numbers device.json may hold: whole numbers that fit 32 bits,
// negative only where the field is signed, fractions only for a duration.
// Anything else would wrap or be undefined in the conversion to the field.
bool CheckNumbers(const Json& j, const std::string& name, std::string* error) {
  if (j.is_object()) {
    for (const auto& [key, value] : j.items()) {
      if (!CheckNumbers(value, key, error)) return false;
    }
    return true;
  }
  if (j.is_array()) {
    for (const auto& value : j) {
      if (!CheckNumbers(value, name, error)) return false;
    }
    return true;
  }
  if (!j.is_number()) return true;
  const bool fraction = name == "toolRunsSeconds";
  const bool isSigned =
      name == "daylightBias" || name == "unregisterResult" || name == "registerResult";
  bool ok;
  if (j.is_number_float()) {
    const double v = j.get<double>();
    ok = fraction && v >= 0 && v <= 4e6;
  } else if (j.is_number_unsigned()) {
    // An HRESULT may be written as its unsigned value (2147500037).
    ok = j.get<std::uint64_t>() <= (name == "daylightBias" ? 0x7FFFFFFFu : 0xFFFFFFFFu);
  } else {
    const std::int64_t v = j.get<std::int64_t>();
    ok = isSigned ? v >= INT32_MIN && v <= INT32_MAX : v >= 0 && v <= 0xFFFFFFFFLL;
  }
  if (!ok) {
    *error = "device.json: \"" + name + "\" must be " +
             (fraction ? "a number of seconds" : isSigned ? "a 32-bit whole number"
                                                          : "a whole number from 0 to 4294967295") +
             ", not " + j.dump();
  }
  return ok;
}

std::optional<std::uint32_t> OptU32(const Json& j) {
  if (j.is_null()) return std::nullopt;
  return j.get<std::uint32_t>();
}

bool ParseAddress(const std::string& text, std::vector<std::uint8_t>* out) {
  out->clear();
  if (text.empty()) return true;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 2 > text.size()) return false;
    unsigned v;
    if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &v) != 1) return false;
    out->push_back(static_cast<std::uint8_t>(v));
    i += 2;
    if (i < text.size()) {
      if (text[i] != '-' && text[i] != ':') return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

bool CalendarToMs(const CalendarTime& t, std::int64_t* ms) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
      t.second > 59 || t.milliseconds < 0 || t.milliseconds > 999) {
    return false;
  }
  const auto month = static_cast<unsigned>(t.month);
  const std::int64_t days = DaysFromCivil(t.year, month, static_cast<unsigned>(t.day));
  // A day the month does not have lands in the next month.
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  if (m != month) return false;
  *ms = ((days * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL + t.milliseconds;
  return true;
}

CalendarTime MsToCalendar(std::int64_t ms) {
  std::int64_t days = ms / 86400000;
  std::int64_t rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  CalendarTime t;
  t.year = static_cast<int>(y);
  t.month = static_cast<int>(m);
  t.day = static_cast<int>(d);
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.milliseconds = static_cast<int>(rest % 1000);
  return t;
}

bool ParseLocalTime(const std::string& text, std::int64_t* ms) {
  CalendarTime t;
  int n = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%d", &t.year, &t.month, &t.day,
                      &t.hour, &t.minute, &t.second, &t.milliseconds);
  return n >= 6 && CalendarToMs(t, ms);
}

std::string FormatLocalTime(std::int64_t ms) {
  const CalendarTime t = MsToCalendar(ms);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
  return buf;
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

bool Device::Load(const fs::path& folder, std::string* error) {
  folder_ = folder;
  std::string bytes;
  if (!ReadFileBytes(folder / "registry.reg", &bytes)) {
    *error = "cannot read " + (folder / "registry.reg").string();
    return false;
  }
  if (!ParseRegFile(bytes, &hive_, error)) return false;

  json_ = Json::object();
  if (ReadFileBytes(folder / "device.json", &bytes)) {
    json_ = Json::parse(bytes, nullptr, false);
    if (json_.is_discarded() || !json_.is_object()) {
      *error = "device.json is not a JSON object";
      return false;
    }
  }
  if (!CheckNumbers(json_, "", error)) return false;
  try {
    DeviceState& s = state_;
    const Json& j = json_;
    s.imagePath = j.value("imagePath", s.imagePath);
    s.startedBy = j.value("startedBy", s.startedBy);
    if (s.startedBy != "hand" && s.startedBy != "scm") {
      *error = "device.json: startedBy must be \"hand\" or \"scm\"";
      return false;
    }
    s.hostName = j.value("hostName", s.hostName);
    if (j.contains("pendingHostName") && !j["pendingHostName"].is_null()) {
      s.pendingHostName = j["pendingHostName"].get<std::string>();
    }
    for (const auto& a : j.value("adapters", Json::array())) {
      SimAdapter adapter;
      adapter.description = a.value("description", "");
      if (!ParseAddress(a.value("address", ""), &adapter.address) ||
          adapter.address.size() > 8) {
        *error = "device.json: adapter address \"" + a.value("address", "") +
                 "\" is not 0 to 8 hexadecimal bytes like 00-01-05-12-AB-3C";
        return false;
      }
      s.adapters.push_back(adapter);
    }
    if (j.contains("adaptersError")) s.adaptersError = OptU32(j["adaptersError"]);
    if (j.contains("fbwf")) {
      const Json& f = j["fbwf"];
      if (f.contains("status")) s.fbwfStatus = f["status"].get<std::uint32_t>();
      s.fbwfCurrent = f.value("current", 0u);
      s.fbwfNext = f.value("next", 0u);
    }
    if (j.contains("ewf") && !j["ewf"].is_null()) {
      std::vector<SimEwfVolume> volumes;
      for (const auto& v : j["ewf"]) {
        SimEwfVolume volume;
        volume.state = v.value("state", 0u);
        volume.openFails = v.value("openFails", false);
        if (v.contains("configFails")) volume.configFails = OptU32(v["configFails"]);
        if (v.contains("closeFails")) volume.closeFails = OptU32(v["closeFails"]);
        volumes.push_back(volume);
      }
      s.ewf = volumes;
    }
    if (j.contains("timeZone")) {
      s.timeZoneId = j["timeZone"].value("id", s.timeZoneId);
      s.daylightBias = j["timeZone"].value("daylightBias", s.daylightBias);
    }
    std::string localTime = j.value("localTime", "2026-01-15T08:00:00.000");
    if (!ParseLocalTime(localTime, &s.localTimeMs)) {
      *error = "device.json: localTime \"" + localTime +
               "\" is not like 2026-01-15T08:00:00.000";
      return false;
    }
    s.shutdownPrivilege = j.value("shutdownPrivilege", true);
    if (j.contains("restartScheduled") && !j["restartScheduled"].is_null()) {
      s.restartScheduled = j["restartScheduled"].get<std::string>();
    }
    if (j.contains("shutdownInProgress") && !j["shutdownInProgress"].is_null()) {
      s.shutdownInProgress = j["shutdownInProgress"].get<std::string>();
    }
    if (j.contains("upnp")) {
      const Json& u = j["upnp"];
      auto optI32 = [&](const char* name, std::optional<std::int32_t> def) {
        if (!u.contains(name)) return def;
        return u[name].is_null() ? std::optional<std::int32_t>()
                                 : std::optional<std::int32_t>(u[name].get<std::int32_t>());
      };
      s.upnp.library = u.value("library", true);
      s.upnp.unregisterResult = optI32("unregisterResult", 0);
      s.upnp.registerResult = optI32("registerResult", 0);
      s.upnp.tool = u.value("tool", true);
      s.upnp.toolStartable = u.value("toolStartable", true);
      if (u.contains("toolRunsSeconds")) {
        s.upnp.toolRunsSeconds =
            u["toolRunsSeconds"].is_null()
                ? std::optional<double>()
                : std::optional<double>(u["toolRunsSeconds"].get<double>());
      }
    }
    for (const auto& m : j.value("messages", Json::array())) {
      SimMessage message;
      if (m.contains("timeChange")) {
        message.kind = SimMessage::kTimeChange;
        message.value = m["timeChange"].get<std::uint32_t>();
      } else if (m.contains("quit")) {
        message.kind = SimMessage::kQuit;
      } else {
        message.kind = SimMessage::kMessage;
        message.value = m.at("message").get<std::uint32_t>();
      }
      s.messages.push_back(message);
    }
    for (const auto& c : j.value("serviceControls", Json::array())) {
      SimServiceControl control;
      control.at = c.value("at", "duringJob");
      if (control.at != "duringJob" && control.at != "inWatch") {
        *error = "device.json: serviceControls \"at\" must be duringJob or inWatch";
        return false;
      }
      control.code = c.at("code").get<std::uint32_t>();
      s.serviceControls.push_back(control);
    }
    for (const auto& k : j.value("protectedKeys", Json::array())) {
      s.protectedKeys.push_back(k.get<std::string>());
    }
    for (const auto& f : j.value("readOnlyFiles", Json::array())) {
      s.readOnlyFiles.push_back(f.get<std::string>());
    }
    for (const auto& f : j.value("faults", Json::array())) {
      SimFault fault;
      fault.call = f.at("call").get<std::string>();
      fault.occurrence = f.value("occurrence", 0u);
      fault.error = f.at("error").get<std::uint32_t>();
      s.faults.push_back(fault);
    }
    if (j.contains("powerCut") && !j["powerCut"].is_null()) {
      s.powerCutAfter = j["powerCut"].at("after").get<std::uint32_t>();
      s.powerCutCountsRegistry = j["powerCut"].value("registry", false);
    }
    if (j.contains("strings")) {
      for (const auto& [id, text] : j["strings"].items()) {
        s.strings[static_cast<std::uint32_t>(std::stoul(id))] = text.get<std::string>();
      }
    }
  } catch (const std::exception& e) {
    *error = std::string("device.json: ") + e.what();
    return false;
  }
  return true;
}

void Device::ApplyRestartBetweenRuns() {
  if (!state_.restartScheduled) return;
  if (state_.pendingHostName) state_.hostName = *state_.pendingHostName;
  state_.pendingHostName.reset();
  state_.restartScheduled.reset();
  stateChanged_ = true;
}

bool Device::Save(std::string* error) {
  // After a power cut the device keeps what it held at the cut; the cut
  // itself is spent.
  if (cut_) {
    if (cut_->registry &&
        !WriteFileAtomic(folder_ / "registry.reg", *cut_->registry)) {
      *error = "cannot write registry.reg";
      return false;
    }
    registryChanged_ = false;
    state_ = cut_->state;
    state_.powerCutAfter.reset();
    state_.powerCutCountsRegistry = false;
    // The device starts again after the cut: a name set before it takes
    // effect as after any restart.
    if (state_.pendingHostName) state_.restartScheduled = "power cut";
    json_.erase("powerCut");
    stateChanged_ = true;
  }
  if (registryChanged_) {
    if (!WriteFileAtomic(folder_ / "registry.reg", WriteRegFile(hive_))) {
      *error = "cannot write registry.reg";
      return false;
    }
  }
  if (stateChanged_) {
    const DeviceState& s = state_;
    json_["hostName"] = s.hostName;
    json_["pendingHostName"] = s.pendingHostName ? Json(*s.pendingHostName) : Json();
    json_["localTime"] = FormatLocalTime(s.localTimeMs);
    json_["restartScheduled"] =
        s.restartScheduled ? Json(*s.restartScheduled) : Json();
    if (!json_.contains("timeZone")) json_["timeZone"] = Json::object();
    json_["timeZone"]["id"] = s.timeZoneId;
    json_["timeZone"]["daylightBias"] = s.daylightBias;
    if (json_.contains("readOnlyFiles") || !s.readOnlyFiles.empty()) {
      json_["readOnlyFiles"] = s.readOnlyFiles;
    }
    if (!WriteFileAtomic(folder_ / "device.json", json_.dump(2) + "\n")) {
      *error = "cannot write device.json";
      return false;
    }
  }
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  std::ofstream out(folder_ / "journal.jsonl", std::ios::app | std::ios::binary);
  if (!out) {
    *error = "cannot append journal.jsonl";
    return false;
  }
  for (; journalSaved_ < journal_.size(); ++journalSaved_) {
    out << journal_[journalSaved_].dump() << "\n";
  }
  return static_cast<bool>(out);
}

void Device::Journal(Json record) {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  if (cut_) return;  // nothing happens on a device without power
  if (echo_) std::cerr << "vorn-sim: " << DescribeRecord(record) << "\n";
  const std::string kind = record.value("kind", "");
  journal_.push_back(std::move(record));
  // Journaled after the change is made: a cut here keeps it.
  if (state_.powerCutCountsRegistry && (kind == "registryWrite" || kind == "computerNameSet")) {
    DiskStep(kind);
  }
}

std::vector<Json> Device::JournalRecords() {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  return journal_;
}

std::optional<os::Status> Device::Fault(const std::string& call) {
  if (callObserver_) callObserver_(call);
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  const auto counted = callCounts_.try_emplace(call, 0).first;
  calls_.push_back(&counted->first);
  std::uint32_t n = ++counted->second;
  for (const auto& f : state_.faults) {
    if (f.call == call && (f.occurrence == 0 || f.occurrence == n)) return f.error;
  }
  return std::nullopt;
}

std::vector<std::string> Device::calls() {
  std::lock_guard<std::recursive_mutex> lock(journalMutex_);
  std::vector<std::string> calls;
  calls.reserve(calls_.size());
  for (const std::string* call : calls_) calls.push_back(*call);
  return calls;
}

fs::path Device::HostPath(const std::string& windowsPath) {
  std::string path = windowsPath;
  std::string drive = "c";
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    drive = std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))));
    path.erase(0, 2);
  }
  fs::path host = folder_ / drive;
  std::string part;
  auto step = [&](const std::string& name) {
    if (name.empty() || name == ".") return;
    if (name == "..") {
      // Never leave the drive folder.
      if (host != folder_ / drive) host = host.parent_path();
      return;
    }
    std::error_code ec;
    if (fs::is_directory(host, ec)) {
      for (const auto& entry : fs::directory_iterator(host, ec)) {
        std::string candidate = entry.path().filename().string();
        if (candidate.size() == name.size() &&
            std::equal(candidate.begin(), candidate.end(), name.begin(), [](char a, char b) {
              return std::tolower(static_cast<unsigned char>(a)) ==
                     std::tolower(static_cast<unsigned char>(b));
            })) {
          host /= candidate;
          return;
        }
      }
    }
    host /= name;
  };
  for (char c : path) {
    if (c == '\\' || c == '/') {
      step(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  step(part);
  return host;
}

bool ReadFileBytes(const fs::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *bytes = s.str();
  return true;
}

}  // namespace sim
