// Raw registry values between the device's registry and Wine's system.reg.
#include "tests/wine/wine_raw.h"

#include <cstdio>
#include <vector>

#include "device/codepage.h"
#include "device/reg_file.h"

namespace wine {
namespace {

using Path = std::vector<std::u16string>;

bool SamePath(const Path& a, const Path& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!sim::NamesEqual(a[i], b[i])) return false;
  }
  return true;
}

// system.reg holds SYSTEM\CurrentControlSet as the set it links to, and
// an export names it by the link.
Path Relinked(Path path, const char16_t* from, const char16_t* to) {
  if (path.size() >= 2 && sim::NamesEqual(path[0], u"SYSTEM") && sim::NamesEqual(path[1], from)) {
    path[1] = to;
  }
  return path;
}

int Digit(char c, int base) {
  int v = c >= '0' && c <= '9' ? c - '0'
          : c >= 'a' && c <= 'f' ? c - 'a' + 10
          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                 : 99;
  return v < base ? v : -1;
}

// The character after a backslash at text[*i - 1] == e: C escapes, \xHHHH
// (up to 4 digits) and \ooo (up to 3), else the character itself.
char16_t EscapedChar(const std::string& text, char e, std::size_t* i) {
  static const std::string letters = "abefnrtv";
  static const char16_t codes[] = {7, 8, 27, 12, 10, 13, 9, 11};
  if (std::size_t at = letters.find(e); at != std::string::npos) return codes[at];
  const int base = e == 'x' ? 16 : Digit(e, 8) >= 0 ? 8 : 0;
  if (base == 0) return static_cast<unsigned char>(e);
  if (base == 8) --*i;
  unsigned value = 0;
  for (int n = 0; n < (base == 16 ? 4 : 3) && *i < text.size() && Digit(text[*i], base) >= 0; ++n) {
    value = value * base + Digit(text[(*i)++], base);
  }
  return static_cast<char16_t>(value);
}

// Wine's escaped text from *pos up to the unescaped `end`; *pos goes past it
// (to the text's end when it is missing, then *closed is false).
std::u16string Unescape(const std::string& text, std::size_t* pos, char end, bool* closed) {
  std::u16string out;
  std::size_t i = *pos;
  while (i < text.size() && text[i] != end) {
    const char c = text[i++];
    out += c == '\\' && i < text.size() ? EscapedChar(text, text[i++], &i)
                                        : static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  *closed = i < text.size();
  *pos = *closed ? i + 1 : i;
  return out;
}

// A name as wineserver writes it: ASCII as it is (backslash and quote
// escaped), control characters in octal, others as \x.
std::string WineEscape(const std::u16string& s) {
  std::string out;
  char buf[16];
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool hexNext = i + 1 < s.size() && s[i + 1] < 128 && Digit(static_cast<char>(s[i + 1]), 16) >= 0;
    if (c > 127) {
      std::snprintf(buf, sizeof buf, hexNext ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
      out += buf;
    } else if (c < 32) {
      std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(c));
      out += buf;
    } else {
      if (c == u'"' || c == u'\\') out += '\\';
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

bool Continued(const std::string& line) { return !line.empty() && line.back() == '\\'; }

// A section header "[Key\\Path] stamp": its path below HKEY_LOCAL_MACHINE.
bool SectionPath(const std::string& line, Path* path) {
  if (line.empty() || line[0] != '[') return false;
  std::size_t pos = 1;
  bool closed = false;
  *path = sim::SplitKeyPath(Unescape(line, &pos, ']', &closed));
  return closed;
}

// A value line ("name"=... or @=...): its name and where its data starts.
bool ValueName(const std::string& line, std::u16string* name, std::size_t* dataAt) {
  if (line.rfind("@=", 0) == 0) {
    name->clear();
    *dataAt = 2;
    return true;
  }
  if (line.empty() || line[0] != '"') return false;
  std::size_t pos = 1;
  bool closed = false;
  *name = Unescape(line, &pos, '"', &closed);
  *dataAt = pos + 1;
  return closed && pos < line.size() && line[pos] == '=';
}

struct Raw {
  Path path;  // as system.reg names the key
  sim::HiveValue value;
  bool done = false;
};

void CollectAltered(sim::HiveKey& key, Path& path, std::vector<Raw>* out) {
  for (const sim::HiveValue& v : key.values) {
    if (ImportAlters(v)) out->push_back({Relinked(path, u"CurrentControlSet", u"ControlSet001"), v});
  }
  for (auto& sub : key.subKeys) {
    path.push_back(sub->name);
    CollectAltered(*sub, path, out);
    path.pop_back();
  }
}

std::string RawLine(const sim::HiveValue& v) {
  return (v.name.empty() ? std::string("@") : "\"" + WineEscape(v.name) + "\"") + "=" +
         sim::RegValueText(v);
}

// system.reg rewritten a line at a time: a seeded raw value replaces the
// import's line (and its continuation lines), or goes at its key's end.
class Seeder {
 public:
  explicit Seeder(std::vector<Raw>& raws) : raws_(raws) {}

  void Line(const std::string& line) {
    if (skipping_) {
      skipping_ = Continued(line);
      return;
    }
    Path path;
    const bool header = SectionPath(line, &path);
    if (header || line.empty()) {
      Flush();
      inSection_ = header;
      section_ = path;
    } else if (Raw* raw = Match(line)) {
      out_.push_back(RawLine(raw->value));
      raw->done = true;
      skipping_ = Continued(line);
      return;
    }
    out_.push_back(line);
  }

  void Flush() {
    for (Raw& raw : raws_) {
      if (inSection_ && !raw.done && SamePath(raw.path, section_)) {
        out_.push_back(RawLine(raw.value));
        raw.done = true;
      }
    }
  }

  std::string Text() const {
    std::string text;
    for (std::size_t i = 0; i < out_.size(); ++i) text += (i ? "\n" : "") + out_[i];
    return text;
  }

 private:
  Raw* Match(const std::string& line) {
    std::u16string name;
    std::size_t at = 0;
    if (!inSection_ || !ValueName(line, &name, &at)) return nullptr;
    for (Raw& raw : raws_) {
      if (!raw.done && sim::NamesEqual(raw.value.name, name) && SamePath(raw.path, section_)) return &raw;
    }
    return nullptr;
  }

  std::vector<Raw>& raws_;
  std::vector<std::string> out_;
  Path section_;
  bool inSection_ = false;
  bool skipping_ = false;
};

std::vector<std::uint8_t> Utf16Le(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

bool HexBytes(const std::string& text, std::vector<std::uint8_t>* bytes) {
  std::string digits;
  for (char c : text) {
    if (Digit(c, 16) >= 0) digits += c;
    else if (c != ',' && c != '\\' && c != ' ' && c != '\t') return false;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes->push_back(static_cast<std::uint8_t>(Digit(digits[i], 16) * 16 + Digit(digits[i + 1], 16)));
  }
  return true;
}

// A value's data as wineserver keeps it raw: hex(1), hex(2), hex(4) or
// hex(7), or a quoted REG_SZ with a NUL inside (which an export would cut).
bool RawData(const std::string& data, sim::HiveValue* value) {
  if (data.rfind("\"", 0) == 0) {
    std::size_t pos = 1;
    bool closed = false;
    const std::u16string text = Unescape(data, &pos, '"', &closed);
    if (!closed || text.find(u'\0') == std::u16string::npos) return false;
    value->type = 1;
    value->data = Utf16Le(text + u'\0');
    return true;
  }
  for (std::uint32_t type : {1u, 2u, 4u, 7u}) {
    const std::string prefix = "hex(" + std::to_string(type) + "):";
    if (data.rfind(prefix, 0) != 0) continue;
    value->type = type;
    value->data.clear();
    return HexBytes(data.substr(prefix.size()), &value->data);
  }
  return false;
}

void Replace(sim::Hive* hive, const Path& path, const sim::HiveValue& raw) {
  for (const Path& p : {path, Relinked(path, u"ControlSet001", u"CurrentControlSet")}) {
    sim::HiveKey* key = hive->Find(p);
    sim::HiveValue* value = key ? key->FindValue(raw.name) : nullptr;
    if (value == nullptr) continue;
    value->type = raw.type;
    value->data = raw.data;
  }
}

}  // namespace

bool ImportAlters(const sim::HiveValue& value) {
  const std::vector<std::uint8_t>& d = value.data;
  if (value.type == 4) return d.size() != 4;
  if (value.type != 1 && value.type != 2 && value.type != 7) return false;
  if (d.size() < 2 || d.size() % 2 != 0 || d[d.size() - 1] != 0 || d[d.size() - 2] != 0) return true;
  if (value.type != 1) return false;
  for (std::size_t i = 0; i + 2 < d.size(); i += 2) {
    if (d[i] == 0 && d[i + 1] == 0) return true;
  }
  return false;
}

bool SeedRawValues(sim::Hive& seed, const std::string& systemReg, std::string* out,
                   std::string* error) {
  std::vector<Raw> raws;
  Path start;
  CollectAltered(seed.LocalMachine(), start, &raws);
  Seeder seeder(raws);
  for (const std::string& line : SplitLines(systemReg)) seeder.Line(line);
  seeder.Flush();
  for (const Raw& raw : raws) {
    if (raw.done) continue;
    std::u16string key;
    for (const auto& part : raw.path) key += (key.empty() ? u"" : u"\\") + part;
    *error = "system.reg has no key " + sim::Utf16ToUtf8(key);
    return false;
  }
  *out = seeder.Text();
  return true;
}

void ReadBackRawValues(const std::string& systemReg, sim::Hive* exported) {
  const std::vector<std::string> lines = SplitLines(systemReg);
  Path section;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    while (Continued(line) && i + 1 < lines.size()) line += lines[++i];
    if (line.empty() || line[0] == '[') {
      inSection = SectionPath(line, &section);
      continue;
    }
    sim::HiveValue raw;
    std::size_t at = 0;
    if (inSection && ValueName(line, &raw.name, &at) && RawData(line.substr(at), &raw)) {
      Replace(exported, section, raw);
    }
  }
}

}  // namespace wine
