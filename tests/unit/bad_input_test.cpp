// The bad-input catalogue: every registry value the start-up and the image
// information read, planted in every damaged form a device can carry; command
// lines no administrator meant to type; device folders vorn-sim cannot read.
// Each form has one defined outcome.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "common/image_info.h"
#include "host/entry.h"
#include "host/process.h"
#include "device/codepage.h"
#include "device/reg_file.h"
#include "tests/support/image_info_registry.h"
#include "tests/support/testing.h"
#include "tests/unit/bad_input_catalogue.h"

namespace vorn {
namespace {

// ---------------------------------------------------------------------------
// Planting values: the forms a registry value can take.

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i ? ",%02x" : "%02x", bytes[i]);
    out += b;
  }
  return out;
}

// UTF-16LE bytes of 8-bit text taken as Latin-1 code units.
std::vector<std::uint8_t> Wide(const std::string& text, bool terminated) {
  std::vector<std::uint8_t> out;
  for (char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  if (terminated) out.insert(out.end(), {0, 0});
  return out;
}

std::string Line(const std::string& name, const std::string& data) {
  return "\"" + name + "\"=" + data + "\r\n";
}

std::string AllHighBytes(unsigned from, unsigned to) {
  std::string s;
  for (unsigned c = from; c <= to; ++c) s.push_back(static_cast<char>(c));
  return s;
}

// Every damaged form of a REG_SZ value holding `good`.
using Form = catalogue::Planted;
std::vector<Form> Forms(const std::string& good) { return catalogue::ImageForms(good); }

// ---------------------------------------------------------------------------
// AppID "LocalService": only a terminated REG_SZ of at most 260 bytes makes
// service mode; every other form is process mode, without an error.

constexpr char kAppIdKey[] =
    "[HKEY_CLASSES_ROOT\\AppID\\{5A3C7E12-4B9D-4F60-8E21-73D0C4B9A615}]\r\n@=\"VORN\"\r\n";

// True when the run took service mode (started by the service control
// manager, the dispatcher connects and status reports are made).
bool ServiceMode(const std::string& localService) {
  sim::TestDevice device(std::string(kAppIdKey) + localService + "\r\n",
                         R"({"startedBy": "scm"})");
  int code = device.Run();
  EXPECT_NE(code, static_cast<int>(0x8000FFFFu)) << localService;
  // Both modes run the job to its end: the image information is missing.
  EXPECT_EQ(device.Records("event").size(), 1u) << localService;
  return !device.Records("serviceStatus").empty();
}

TEST(BadInput, LocalServiceInEveryDamagedFormIsProcessMode) {
  EXPECT_TRUE(ServiceMode(Line("LocalService", "\"VORN\"")));
  for (const Form& f : Forms("VORN")) {
    const bool terminatedSz = std::string(f.what) == "empty text" ||
                              std::string(f.what) == "inner NUL";
    EXPECT_EQ(ServiceMode(Line("LocalService", f.data)), terminatedSz) << f.what;
  }
  EXPECT_FALSE(ServiceMode(""));  // absent
}

TEST(BadInput, LocalServiceFitsIn260BytesWithItsTerminator) {
  EXPECT_TRUE(ServiceMode(Line("LocalService", "\"" + std::string(259, 'v') + "\"")));
  EXPECT_FALSE(ServiceMode(Line("LocalService", "\"" + std::string(260, 'v') + "\"")));
  // Unterminated and exactly 260 bytes: the terminator test fails, not the size.
  EXPECT_FALSE(ServiceMode(
      Line("LocalService", "hex(1):" + Hex(Wide(std::string(260, 'v'), false)))));
  EXPECT_FALSE(ServiceMode(Line("LocalService", "\"" + std::string(40000, 'v') + "\"")));
}

TEST(BadInput, LocalServiceWithBytesAbove0x7FIsStillATerminatedString) {
  // Code units 0x80 to 0xFF, and raw bytes 0x80 to 0xFF read as UTF-16
  // (characters the code page lacks become '?', one byte each).
  EXPECT_TRUE(ServiceMode(Line("LocalService", "hex(1):" + Hex(Wide(AllHighBytes(0x80, 0xFF), true)))));
  std::vector<std::uint8_t> raw;
  for (unsigned b = 0x80; b <= 0xFF; ++b) raw.push_back(static_cast<std::uint8_t>(b));
  raw.insert(raw.end(), {0, 0});
  EXPECT_TRUE(ServiceMode(Line("LocalService", "hex(1):" + Hex(raw))));
}

// ---------------------------------------------------------------------------
// The four image values: a required value in a damaged form either reads
// (the text the query gives, terminated) or is missing image information;
// never an exception, never a field without its terminator.

struct ImageRead {
  bool ok;
  ImageInfo info;
};

const char* kRequired[] = {"Image", "Platform", "Version"};

ImageRead ReadImage(const std::string& name, const std::string& data) {
  std::string values;
  for (const char* v : {"Image", "Platform", "Version", "PlatformShort"}) {
    values += Line(v, v == name ? data : std::string("\"KQ5020\""));
  }
  sim::TestDevice device(sim::ImageInfoKey(values));
  RegAccess reg(device.sim().registry, device.sim().process);
  ImageRead r;
  r.ok = r.info.Read(reg);
  // Every field ends within its width.
  EXPECT_NE(std::memchr(r.info.Image, 0, sizeof r.info.Image), nullptr);
  EXPECT_NE(std::memchr(r.info.Platform, 0, sizeof r.info.Platform), nullptr);
  EXPECT_NE(std::memchr(r.info.Version, 0, sizeof r.info.Version), nullptr);
  EXPECT_NE(std::memchr(r.info.PlatformShort, 0, sizeof r.info.PlatformShort), nullptr);
  return r;
}

const char* Field(const ImageInfo& info, const std::string& name) {
  if (name == "Image") return info.Image;
  if (name == "Platform") return info.Platform;
  if (name == "Version") return info.Version;
  return info.PlatformShort;
}

TEST(BadInput, ImageValuesInEveryDamagedForm) {
  // What each form gives: nullptr for a failed read, else the field's text.
  const std::map<std::string, const char*> outcome = {
      {"REG_EXPAND_SZ", nullptr}, {"REG_MULTI_SZ", nullptr}, {"REG_BINARY", nullptr},
      {"REG_DWORD", nullptr},     {"REG_NONE", nullptr},     {"type 0x12345", nullptr},
      {"empty text", ""},         {"zero bytes", ""},        {"unterminated", "KQ5020"},
      {"odd byte count", "KQ5020"}, {"inner NUL", "KQ5020"}};
  for (const char* name : kRequired) {
    for (const Form& f : Forms("KQ5020")) {
      SCOPED_TRACE(std::string(name) + ", " + f.what);
      ImageRead r = ReadImage(name, f.data);
      const char* expected = outcome.at(f.what);
      EXPECT_EQ(r.ok, expected != nullptr);
      EXPECT_STREQ(Field(r.info, name), expected != nullptr ? expected : "");
    }
  }
  // The optional short name: a failed read takes the fallback silently.
  for (const Form& f : Forms("KQX")) {
    SCOPED_TRACE(std::string("PlatformShort, ") + f.what);
    ImageRead r = ReadImage("PlatformShort", f.data);
    EXPECT_TRUE(r.ok);
    const char* expected = outcome.at(f.what);
    if (expected == nullptr) {
      EXPECT_STREQ(r.info.PlatformShort, "KQ5");
    } else {
      EXPECT_STREQ(r.info.PlatformShort, *expected ? "KQX" : "");
    }
  }
}

TEST(BadInput, ImageValuesTooLongForTheirBuffers) {
  for (const char* name : kRequired) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(ReadImage(name, "\"" + std::string(99, 'x') + "\"").ok);
    EXPECT_FALSE(ReadImage(name, "\"" + std::string(100, 'x') + "\"").ok);
    EXPECT_TRUE(ReadImage(name, "hex(1):" + Hex(Wide(std::string(99, 'x'), false))).ok);
    EXPECT_FALSE(ReadImage(name, "hex(1):" + Hex(Wide(std::string(100, 'x'), false))).ok);
    EXPECT_FALSE(ReadImage(name, "\"" + std::string(70000, 'x') + "\"").ok);
  }
  // The short name is cut to its 15 characters; one too long to read at all
  // takes the fallback.
  EXPECT_STREQ(ReadImage("PlatformShort", "\"" + std::string(99, 's') + "\"").info.PlatformShort,
               std::string(15, 's').c_str());
  EXPECT_STREQ(ReadImage("PlatformShort", "\"" + std::string(100, 's') + "\"").info.PlatformShort,
               "KQ5");
  // The display forms stay within their 42 bytes whatever the values.
  ImageRead r = ReadImage("Platform", "\"" + std::string(99, 'K') + "\"");
  EXPECT_EQ(std::strlen(r.info.DisplayText(1)), 41u);
}

TEST(BadInput, ImageValuesWithBytesAbove0x7F) {
  // 0xA0 to 0xFF are Latin-1 and Windows-1252 alike; 0x80 to 0x9F as code
  // units are C1 controls, which the code page lacks and shows as '?'.
  const std::string upper = AllHighBytes(0xA0, 0xFF);
  for (const char* name : {"Image", "Platform", "Version", "PlatformShort"}) {
    SCOPED_TRACE(name);
    ImageRead r = ReadImage(name, "hex(1):" + Hex(Wide(upper, true)));
    EXPECT_TRUE(r.ok);
    std::string expected = std::string(name) == "PlatformShort" ? upper.substr(0, 15) : upper;
    EXPECT_EQ(std::string(Field(r.info, name)), expected);
    ImageRead c1 = ReadImage(name, "hex(1):" + Hex(Wide(AllHighBytes(0x80, 0x9F), true)));
    EXPECT_TRUE(c1.ok);
    EXPECT_EQ(std::strlen(Field(c1.info, name)), std::string(name) == "PlatformShort" ? 15u : 32u);
  }
  // A Platform that starts with a byte above 0x7F is no family platform.
  EXPECT_FALSE(ReadImage("Platform", "hex(1):" + Hex(Wide("\xCBQ5020", true))).info.IsFamilyPlatform());
}

TEST(BadInput, TheJobTakesAWrongTypedImageValueAsMissingImageInformation) {
  sim::TestDevice device(std::string(kAppIdKey) + "\r\n" +
                         sim::ImageInfoKey(Line("Image", "dword:00000001") +
                                           Line("Platform", "\"KQ5020\"") +
                                           Line("Version", "hex(7):32,00,00,00,00,00")));
  EXPECT_EQ(device.Run(), 0);
  auto events = device.Records("event");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], "No imageinformations were found in the registry");
}

// ---------------------------------------------------------------------------
// Command lines.

constexpr char kExe[] = "C:\\WINDOWS\\system32\\VORN.EXE";

// A double-byte code page: 0x81 to 0x9F and 0xE0 to 0xFC lead, as in
// Shift-JIS.
class ShiftJisText : public sim::SimText {
 public:
  bool IsLeadByte(std::uint8_t b) override {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  }
};

// Runs the whole process with `text` as the code page.
struct DbcsRun {
  explicit DbcsRun(const std::string& arguments) {
    device.Reload(std::string(kExe) + " " + arguments);
    sim::SimPlatform& s = device.sim();
    os::Platform p{s.registry, s.eventLog, s.process, text,  s.ui,    s.com,
                   s.services, s.network,  s.power,   s.modules, s.files, s.clock,
                   s.writeFilters};
    code = RunProcess(p);
  }
  sim::TestDevice device;
  ShiftJisText text;
  int code = 0;
};

TEST(BadInput, DoubleByteCommandLines) {
  ShiftJisText text;
  const std::string exe = std::string(kExe) + " ";
  // A lead byte swallows the delimiter behind it.
  EXPECT_EQ(ParseVerb(text, exe + "\x81-Service"), Verb::kNone);
  // Pairs of lead bytes: three leave the delimiter hidden, four expose it.
  EXPECT_EQ(ParseVerb(text, exe + "\x81\x81\x81-Service"), Verb::kNone);
  EXPECT_EQ(ParseVerb(text, exe + "\x81\x81\x81\x81-Service"), Verb::kService);
  // A lead byte at the end of the line, or before a NUL, is one byte.
  EXPECT_EQ(ParseVerb(text, exe + "-Service \x81"), Verb::kNone);
  EXPECT_EQ(NextToken(text, exe + "\x81", 0, "-/"), std::string::npos);
  EXPECT_EQ(NextToken(text, std::string("\x81\0-x", 4), 0, "-/"), std::string::npos);
  // A verb made of lead and trail bytes matches nothing.
  EXPECT_EQ(ParseVerb(text, exe + "-\x83\x54\x81\x5B\x83\x72\x83\x58"), Verb::kNone);

  // The process with that code page: the hidden verb is not dispatched, the
  // exposed one is; neither run lets anything escape.
  DbcsRun hidden("\x81-Version");
  EXPECT_EQ(hidden.code, 2);  // default path: no AppID key
  EXPECT_TRUE(hidden.device.Records("stdout").empty());
  DbcsRun exposed("\x81\x81-Version");
  EXPECT_EQ(exposed.code, 0);
  EXPECT_EQ(exposed.device.Records("stdout").size(), 1u);
}

TEST(BadInput, CommandLinesOfOnlyDelimitersTakeTheDefaultPath) {
  sim::SimText text;
  for (const char* args : {"-", "/", "--", "//", "-/-/", "- / -", "-\t/", "-\x81-"}) {
    EXPECT_EQ(ParseVerb(text, std::string(kExe) + " " + args), Verb::kNone) << args;
    sim::TestDevice device;
    EXPECT_EQ(device.Run(args), 2) << args;  // no AppID key: its status
  }
}

TEST(BadInput, CommandLinesOf32KilobytesAreParsedInBoundedTime) {
  sim::SimText text;
  const std::size_t n = 32 * 1024 - sizeof kExe - 1;
  const std::string exe = std::string(kExe) + " ";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseVerb(text, exe + std::string(n, '-')), Verb::kNone);
  EXPECT_EQ(ParseVerb(text, exe + std::string(n, '/')), Verb::kNone);
  EXPECT_EQ(ParseVerb(text, exe + std::string(n - 8, 'a') + "-Service"), Verb::kService);
  EXPECT_EQ(ParseVerb(text, exe + std::string(n / 2, '-') + std::string(n / 2, 'x')),
            Verb::kNone);
  ShiftJisText dbcs;
  EXPECT_EQ(ParseVerb(dbcs, exe + std::string(n, '\x81') + "-Service"), Verb::kService);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);

  sim::TestDevice device;
  EXPECT_EQ(device.Run(std::string(n, '-')), 2);
  EXPECT_EQ(device.Run(std::string(n - 8, '/') + "-Version"), 2);  // not the first token
  EXPECT_TRUE(device.Records("stdout").empty());
}

// ---------------------------------------------------------------------------
// Device folders vorn-sim cannot read: a clear message naming the file,
// exit 65, and nothing written.

struct SimResult {
  int exit = 0;
  std::string output;
};

SimResult RunSim(const std::filesystem::path& folder) {
  std::string command = std::string(VORN_SIM_BINARY) + " '" + folder.string() + "' 2>&1";
  SimResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) r.output += buffer;
  int status = pclose(pipe);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::map<std::string, std::string> Files(const std::filesystem::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& f : std::filesystem::recursive_directory_iterator(folder)) {
    if (!f.is_regular_file()) continue;
    std::ifstream in(f.path(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    out[f.path().string()] = s.str();
  }
  return out;
}

// Every case is loaded in the process as vorn-sim loads it; `throughSim`
// cases also run vorn-sim itself (slower under the sanitizers).
void ExpectRefused(const std::string& registry, const std::string& deviceJson,
                   const std::string& names, bool throughSim) {
  sim::TestDevice device;
  device.Write("registry.reg", registry);
  device.Write("device.json", deviceJson);
  sim::Device loaded;
  std::string error;
  EXPECT_FALSE(loaded.Load(device.folder(), &error));
  EXPECT_NE(error.find(names), std::string::npos) << error;
  if (!throughSim) return;
  auto before = Files(device.folder());
  SimResult r = RunSim(device.folder());
  EXPECT_EQ(r.exit, 65) << r.output;
  EXPECT_NE(r.output.find("vorn-sim: "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(names), std::string::npos) << r.output;
  EXPECT_EQ(Files(device.folder()), before) << "the folder was written to";
}

const char kGoodReg[] = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST(BadInput, MalformedDeviceJsonIsRefusedByName) {
  int n = 0;
  for (const char* json :
       {"", "{", "[]", "null", "\"x\"", "{\"adapters\": [{\"address\": \"zz-01\"}]}",
        "{\"adapters\": [{\"address\": \"00-01-02-03-04-05-06-07-08\"}]}",
        "{\"adapters\": 5}", "{\"adapters\": [5]}", "{\"startedBy\": \"nobody\"}",
        "{\"localTime\": \"yesterday\"}", "{\"localTime\": \"2026-02-30T25:00:00\"}",
        "{\"faults\": [{\"call\": \"RegOpenKeyExA\"}]}",
        "{\"faults\": [{\"call\": 5, \"error\": 5}]}", "{\"strings\": {\"abc\": \"x\"}}",
        "{\"strings\": {\"1\": 2}}", "{\"hostName\": 5}", "{\"fbwf\": {\"status\": \"x\"}}",
        "{\"fbwf\": {\"current\": -1}}", "{\"ewf\": [{\"state\": \"on\"}]}",
        "{\"timeZone\": {\"id\": 1e99}}", "{\"upnp\": {\"registerResult\": \"ok\"}}",
        "{\"messages\": [{}]}", "{\"serviceControls\": [{\"at\": \"later\", \"code\": 1}]}",
        "{\"serviceControls\": [{\"at\": \"inWatch\"}]}", "{\"protectedKeys\": [1]}",
        "{\"adaptersError\": \"x\"}", "{\"pendingHostName\": 1}",
        "{\"restartScheduled\": []}", "\xff\xfe{\x00}\x00"}) {
    SCOPED_TRACE(json);
    ExpectRefused(kGoodReg, json, "device.json", ++n % 8 == 1);
  }
}

TEST(BadInput, MalformedRegistryFilesAreRefusedByName) {
  int n = 0;
  for (const std::string& reg : std::vector<std::string>{
           "", "REGEDIT4\r\n", "Windows Registry Editor Version 5.00\r\n\"x\"=\"y\"\r\n",
           std::string(kGoodReg) + "[HKEY_USERS\\x]\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v\"=dword:xyz\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v\"=dword:123456789\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v\"=hex:1\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v\"=hex(zz):00\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v=\"y\"\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\n\"v\"\"y\"\r\n",
           std::string(kGoodReg) + "[HKEY_LOCAL_MACHINE\\x]\r\nv=1\r\n",
           std::string("\xff\xfeW\x00", 4), std::string("\x00\x01\x02\x03", 4)}) {
    SCOPED_TRACE(reg);
    ExpectRefused(reg, "{}", "registry.reg", ++n % 5 == 1);
  }
  // A missing file is named too.
  sim::TestDevice device;
  std::filesystem::remove(device.folder() / "registry.reg");
  SimResult r = RunSim(device.folder());
  EXPECT_EQ(r.exit, 65);
  EXPECT_NE(r.output.find("registry.reg"), std::string::npos) << r.output;
}

// Found by the .reg fuzzer's round-trip property: what the reader accepts
// must come back from the writer.
TEST(BadInput, RegistryFilesThatReadAlsoWriteBack) {
  for (const std::string body : {
           // A value name with escaped line breaks and a NUL.
           std::string("[HKEY_LOCAL_MACHINE\\a]\r\n\"x\\ny\\rz\\0\"=\"1\"\r\n"),
           // Values on the root key itself.
           std::string("[HKEY_LOCAL_MACHINE]\r\n\"x\"=\"1\"\r\n")}) {
    SCOPED_TRACE(body);
    sim::Hive first, second;
    std::string error;
    ASSERT_TRUE(sim::ParseRegFile(std::string(kGoodReg) + body, &first, &error)) << error;
    const std::string written = sim::WriteRegFile(first);
    ASSERT_TRUE(sim::ParseRegFile(written, &second, &error)) << error;
    EXPECT_EQ(sim::WriteRegFile(second), written);
    sim::HiveKey& root = second.LocalMachine();
    const sim::HiveKey& key = root.subKeys.empty() ? root : *root.subKeys[0];
    ASSERT_EQ(key.values.size(), 1u);
    EXPECT_EQ(key.values[0].name,
              root.subKeys.empty() ? std::u16string(u"x") : std::u16string(u"x\ny\rz\0", 6));
  }
}


}  // namespace
}  // namespace vorn
