#include "device/reg_file.h"

#include <cstdio>
#include <functional>

#include "device/codepage.h"

namespace sim {
namespace {

constexpr char16_t kHeader[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t kLocalMachine[] = u"HKEY_LOCAL_MACHINE";
constexpr char16_t kClassesRoot[] = u"HKEY_CLASSES_ROOT";
// regedit breaks a hex line once it reaches this many characters.
constexpr std::size_t kHexLineLimit = 77;

bool IsValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2
                      : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

std::u16string Decode(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      out.push_back(static_cast<char16_t>(
          static_cast<unsigned char>(bytes[i]) |
          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return out;
  }
  std::string text = bytes;
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.erase(0, 3);
  }
  return IsValidUtf8(text) ? Utf8ToUtf16(text) : Cp1252ToUtf16(text);
}

std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(line);
      line.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::u16string Trim(const std::u16string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  return s.substr(b, e - b);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads a quoted string starting at text[*pos] == '"'; leaves *pos behind
// the closing quote.
bool ReadQuoted(const std::u16string& text, std::size_t* pos,
                std::u16string* out) {
  std::size_t i = *pos + 1;
  out->clear();
  while (i < text.size()) {
    char16_t c = text[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c == u'\\' && i + 1 < text.size()) {
      char16_t n = text[i + 1];
      if (n == u'n') {
        out->push_back(u'\n');
      } else if (n == u'r') {
        out->push_back(u'\r');
      } else if (n == u'0') {
        out->push_back(u'\0');
      } else {
        out->push_back(n);
      }
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

bool ParseString(const std::u16string& text, HiveValue* value) {
  std::size_t pos = 0;
  std::u16string s;
  if (!ReadQuoted(text, &pos, &s) || !Trim(text.substr(pos)).empty()) return false;
  value->type = 1;
  AppendUtf16Le(s + u'\0', &value->data);
  return true;
}

// Up to eight hexadecimal digits; false for none, more or another character.
bool ParseHexNumber(const std::u16string& digits, std::uint32_t* number) {
  if (digits.empty() || digits.size() > 8) return false;
  *number = 0;
  for (char16_t c : digits) {
    int d = HexDigit(c);
    if (d < 0) return false;
    *number = (*number << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}

bool ParseDword(const std::u16string& digits, HiveValue* value) {
  std::uint32_t v;
  if (!ParseHexNumber(digits, &v)) return false;
  value->type = 4;
  value->data = DwordData(v);
  return true;
}

// "hex:" is REG_BINARY, "hex(N):" type N; *rest is what follows the colon.
bool ParseHexType(const std::u16string& text, HiveValue* value, std::u16string* rest) {
  if (text.rfind(u"hex:", 0) == 0) {
    value->type = 3;
    *rest = text.substr(4);
    return true;
  }
  if (text.rfind(u"hex(", 0) != 0) return false;
  const std::size_t close = text.find(u')');
  if (close == std::u16string::npos || close + 1 >= text.size() || text[close + 1] != u':' ||
      !ParseHexNumber(text.substr(4, close - 4), &value->type)) {
    return false;
  }
  *rest = text.substr(close + 2);
  return true;
}

// "00,01, ff": two hexadecimal digits a byte, commas between, blanks around.
bool ParseHexBytes(const std::u16string& bytes, std::vector<std::uint8_t>* data) {
  auto blank = [&](std::size_t i) { return bytes[i] == u' ' || bytes[i] == u'\t'; };
  std::size_t i = 0;
  while (i < bytes.size()) {
    while (i < bytes.size() && blank(i)) ++i;
    if (i >= bytes.size()) break;
    if (i + 1 >= bytes.size()) return false;
    int hi = HexDigit(bytes[i]), lo = HexDigit(bytes[i + 1]);
    if (hi < 0 || lo < 0) return false;
    data->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    i += 2;
    while (i < bytes.size() && blank(i)) ++i;
    if (i < bytes.size()) {
      if (bytes[i] != u',') return false;
      ++i;
    }
  }
  return true;
}

// The data behind "name=": "text", dword:..., hex:... or hex(N):....
bool ParseData(const std::u16string& text, HiveValue* value) {
  value->data.clear();
  if (!text.empty() && text[0] == u'"') return ParseString(text, value);
  if (text.rfind(u"dword:", 0) == 0) return ParseDword(text.substr(6), value);
  std::u16string bytes;
  return ParseHexType(text, value, &bytes) && ParseHexBytes(bytes, &value->data);
}

std::string Narrow(const std::u16string& s) { return Utf16ToUtf8(s); }

void Put(std::u16string* out, const std::u16string& s) { out->append(s); }

// The escapes ReadQuoted reads. String data holding CR, LF or NUL is
// written as hex(1) instead; a value name has no such form, so its line
// breaks and NULs are escaped, or the name would break its line.
std::u16string Escape(const std::u16string& s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') {
      out.push_back(u'\\');
    } else if (c == u'\n' || c == u'\r' || c == u'\0') {
      out.push_back(u'\\');
      out.push_back(c == u'\n' ? u'n' : c == u'\r' ? u'r' : u'0');
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// Whether a REG_SZ value's bytes are exactly what a quoted form reads back.
bool QuotableString(const std::vector<std::uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 1] != 0 || data[data.size() - 2] != 0) return false;
  const std::u16string text = Utf16LeText(data);
  return text.find_first_of(u"\r\n", 0, 2) == std::u16string::npos &&
         text.find(u'\0') == text.size() - 1;
}

std::u16string HexText(std::uint32_t v, bool pad8) {
  char buf[16];
  std::snprintf(buf, sizeof buf, pad8 ? "%08x" : "%x", v);
  std::u16string out;
  for (char* p = buf; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

// The data of a value as regedit writes it after "name=". Hex data breaks
// into continuation lines once the line, which starts at `column`, reaches
// kHexLineLimit; std::u16string::npos keeps it on one line.
std::u16string DataText(const HiveValue& value, std::size_t column) {
  if (value.type == 1 && QuotableString(value.data)) {
    std::u16string s = Utf16LeText(value.data);
    s.pop_back();  // the terminator
    return u"\"" + Escape(s) + u"\"";
  }
  if (const std::optional<std::uint32_t> v = DwordOf(value)) {
    return u"dword:" + HexText(*v, true);
  }
  std::u16string text = value.type == 3 ? u"hex:" : u"hex(" + HexText(value.type, false) + u"):";
  if (column != std::u16string::npos) column += text.size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", value.data[i]);
    text.push_back(static_cast<char16_t>(buf[0]));
    text.push_back(static_cast<char16_t>(buf[1]));
    if (i + 1 == value.data.size()) break;
    text.push_back(u',');
    if (column == std::u16string::npos) continue;
    column += 3;
    if (column >= kHexLineLimit) {
      text += u"\\\r\n  ";
      column = 2;
    }
  }
  return text;
}

void WriteValue(const HiveValue& value, std::u16string* out) {
  std::u16string line =
      value.name.empty() ? u"@=" : u"\"" + Escape(value.name) + u"\"=";
  Put(out, line + DataText(value, line.size()) + u"\r\n");
}

void WriteKey(const HiveKey& key, std::vector<std::u16string>* path,
              std::u16string* out) {
  if (key.hasSection || !key.values.empty()) {
    // Keys below SOFTWARE\Classes keep the HKEY_CLASSES_ROOT name they came
    // with.
    bool classes = key.classesRoot && path->size() > 2 &&
                   NamesEqual((*path)[0], u"SOFTWARE") &&
                   NamesEqual((*path)[1], u"Classes");
    std::u16string name = classes ? kClassesRoot : kLocalMachine;
    for (std::size_t i = classes ? 2 : 0; i < path->size(); ++i) {
      name += u"\\" + (*path)[i];
    }
    Put(out, u"[" + name + u"]\r\n");
    for (const auto& value : key.values) WriteValue(value, out);
    Put(out, u"\r\n");
  }
  for (const auto& sub : key.subKeys) {
    path->push_back(sub->name);
    WriteKey(*sub, path, out);
    path->pop_back();
  }
}

// A "[HKEY_...\path]" line: the key it names becomes *current, created
// if need be. Null, or what is wrong with the line.
const char* ReadKeyLine(const std::u16string& line, Hive* hive, HiveKey** current) {
  if (line.back() != u']') return "unterminated key name";
  std::vector<std::u16string> parts = SplitKeyPath(line.substr(1, line.size() - 2));
  if (parts.empty()) return "empty key name";
  bool classesRoot;
  if (NamesEqual(parts[0], kLocalMachine)) {
    classesRoot = false;
  } else if (NamesEqual(parts[0], kClassesRoot)) {
    classesRoot = true;
  } else {
    return "only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are kept";
  }
  std::u16string rest;
  for (std::size_t i = 1; i < parts.size(); ++i) rest += (i > 1 ? u"\\" : u"") + parts[i];
  std::vector<std::u16string> full = Hive::Resolve(classesRoot, rest);
  *current = hive->Find(full);
  if (*current == nullptr) {
    // Parents that only exist to hold this key get no section.
    std::vector<std::u16string> prefix;
    for (std::size_t i = 0; i + 1 < full.size(); ++i) {
      prefix.push_back(full[i]);
      if (hive->Find(prefix) == nullptr) {
        hive->Create(prefix, classesRoot, nullptr)->hasSection = false;
      }
    }
    *current = hive->Create(full, classesRoot, nullptr);
  }
  (*current)->hasSection = true;
  (*current)->classesRoot = classesRoot;
  return nullptr;
}

// A '"name"=data' or "@=data" line, continuation lines joined: the value is
// set in `key`. Null, or what is wrong with the line.
const char* ReadValueLine(const std::u16string& line, HiveKey* key) {
  HiveValue value;
  std::size_t pos;
  if (line[0] == u'@') {
    pos = 1;
  } else if (line[0] == u'"') {
    pos = 0;
    if (!ReadQuoted(line, &pos, &value.name)) return "unterminated value name";
  } else {
    return "not a key or value line";
  }
  while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) ++pos;
  if (pos >= line.size() || line[pos] != u'=') return "missing '='";
  ++pos;
  while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) ++pos;
  if (!ParseData(line.substr(pos), &value)) return "value data not understood";
  if (HiveValue* existing = key->FindValue(value.name)) {
    *existing = value;
  } else {
    key->values.push_back(value);
  }
  return nullptr;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, Hive* hive, std::string* error) {
  std::vector<std::u16string> lines = SplitLines(Decode(bytes));
  std::size_t n = 0;
  while (n < lines.size() && Trim(lines[n]).empty()) ++n;
  if (n >= lines.size() || Trim(lines[n]) != kHeader) {
    *error = "registry.reg: the first line is not \"Windows Registry Editor Version 5.00\"";
    return false;
  }
  HiveKey* current = nullptr;
  for (++n; n < lines.size(); ++n) {
    const std::size_t lineNo = n + 1;
    std::u16string line = Trim(lines[n]);
    if (line.empty() || line[0] == u';') continue;
    const char* wrong;
    if (line[0] == u'[') {
      wrong = ReadKeyLine(line, hive, &current);
    } else if (current == nullptr) {
      wrong = "value outside a key";
    } else {
      // Join continuation lines of hex data.
      while (!line.empty() && line.back() == u'\\' && n + 1 < lines.size()) {
        line.pop_back();
        line += Trim(lines[++n]);
      }
      wrong = ReadValueLine(line, current);
    }
    if (wrong != nullptr) {
      *error = "registry.reg line " + std::to_string(lineNo) + ": " + wrong + ": " + Narrow(line);
      return false;
    }
  }
  return true;
}

std::string RegValueText(const HiveValue& value) {
  return Utf16ToUtf8(DataText(value, std::u16string::npos));
}

std::string WriteRegFile(Hive& hive) {
  std::u16string text = kHeader;
  text += u"\r\n\r\n";
  // From the root itself: values read under [HKEY_LOCAL_MACHINE] are kept.
  std::vector<std::u16string> path;
  WriteKey(hive.LocalMachine(), &path, &text);
  std::string bytes;
  bytes.reserve(2 + text.size() * 2);
  bytes.push_back(static_cast<char>(0xFF));
  bytes.push_back(static_cast<char>(0xFE));
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

}  // namespace sim
