#include "host/registrar.h"

#include <memory>

#include "common/reg_access.h"

namespace vorn {
namespace {

constexpr os::Status kErrorResourceNameNotFound = 1814;

struct Token {
  std::string text;
  bool quoted = false;
  int line = 0;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  bool Parse(RegistryScript* script, std::string* error) {
    error_ = error;
    if (!Tokenize()) return false;
    while (pos_ < tokens_.size()) {
      ScriptSection section;
      if (!ParseSection(&section)) return false;
      script->push_back(std::move(section));
    }
    return true;
  }

 private:
  bool Tokenize() {
    int line = 1;
    std::size_t i = 0;
    while (i < text_.size()) {
      if (IsSpace(text_[i])) {
        if (text_[i] == '\n') ++line;
        ++i;
        continue;
      }
      Token token;
      token.line = line;
      if (text_[i] == '\'') {
        token.quoted = true;
        ++i;
        for (;;) {
          if (i >= text_.size()) return Fail(token.line, "a quoted text is not closed");
          if (text_[i] == '\'') {
            if (i + 1 < text_.size() && text_[i + 1] == '\'') {
              token.text.push_back('\'');
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text_[i] == '\n') ++line;
          token.text.push_back(text_[i++]);
        }
      } else {
        while (i < text_.size() && !IsSpace(text_[i])) token.text.push_back(text_[i++]);
      }
      tokens_.push_back(std::move(token));
    }
    return true;
  }

  bool Fail(int line, const std::string& message) {
    if (error_ != nullptr) *error_ = "line " + std::to_string(line) + ": " + message;
    return false;
  }

  bool AtEnd() const { return pos_ >= tokens_.size(); }
  int Line() const { return AtEnd() ? LastLine() : tokens_[pos_].line; }
  int LastLine() const { return tokens_.empty() ? 1 : tokens_.back().line; }

  // True when the next token is the bare word `word`.
  bool Peek(const char* word) const {
    return !AtEnd() && !tokens_[pos_].quoted && tokens_[pos_].text == word;
  }

  bool Expect(const char* word, const char* where) {
    if (Peek(word)) {
      ++pos_;
      return true;
    }
    return Fail(Line(), std::string("expected '") + word + "' " + where + ", found " +
                            Describe());
  }

  std::string Describe() const {
    if (AtEnd()) return "the end of the script";
    const Token& t = tokens_[pos_];
    return t.quoted ? "'" + t.text + "'" : "\"" + t.text + "\"";
  }

  // A word that the language reserves, or one it does not support.
  bool CheckWord(const Token& t) {
    if (t.quoted) return true;
    for (const char* word : {"ForceRemove", "Delete", "NoRemove", "val"}) {
      if (t.text == word) {
        return Fail(t.line, "'" + t.text + "' is not supported here");
      }
    }
    if (t.text == "{" || t.text == "}" || t.text == "=") {
      return Fail(t.line, "expected a name, found \"" + t.text + "\"");
    }
    return true;
  }

  // A key or value name: plain text without path separators or variables.
  bool TakeName(std::string* name, const char* what) {
    if (AtEnd()) return Fail(LastLine(), std::string("expected ") + what + " name");
    const Token& t = tokens_[pos_];
    if (!CheckWord(t)) return false;
    if (t.text.empty()) return Fail(t.line, std::string("empty ") + what + " name");
    if (t.text.find('\\') != std::string::npos) {
      return Fail(t.line, "'" + t.text + "': key paths with '\\' are not supported");
    }
    if (t.text.find('%') != std::string::npos) {
      return Fail(t.line, "'" + t.text + "': replacement variables are not supported");
    }
    *name = t.text;
    ++pos_;
    return true;
  }

  // "= s VALUE"
  bool TakeStringValue(std::string* value) {
    if (!Expect("=", "before a value")) return false;
    if (AtEnd()) return Fail(LastLine(), "expected a value type");
    const Token& type = tokens_[pos_];
    if (type.quoted || type.text != "s") {
      return Fail(type.line, "value type " + Describe() +
                                 " is not supported (only s, a string)");
    }
    ++pos_;
    if (AtEnd()) return Fail(LastLine(), "expected a value");
    const Token& t = tokens_[pos_];
    if (!t.quoted && (t.text == "{" || t.text == "}" || t.text == "=")) {
      return Fail(t.line, "expected a value, found \"" + t.text + "\"");
    }
    if (t.text.find('%') != std::string::npos) {
      return Fail(t.line, "'" + t.text + "': replacement variables are not supported");
    }
    *value = t.text;
    ++pos_;
    return true;
  }

  bool ParseSection(ScriptSection* section) {
    const Token& root = tokens_[pos_];
    if (root.quoted || (root.text != "HKCR" && root.text != "HKEY_CLASSES_ROOT")) {
      return Fail(root.line, "root key " + Describe() +
                                 " is not supported (only HKCR)");
    }
    section->root = os::RootKey::kClassesRoot;
    ++pos_;
    if (!Expect("{", "after the root key")) return false;
    while (!Peek("}")) {
      if (AtEnd()) return Fail(LastLine(), "'}' missing at the end of the script");
      if (Peek("val")) return Fail(Line(), "values directly under the root key are not supported");
      ScriptKey key;
      if (!ParseKey(&key)) return false;
      section->keys.push_back(std::move(key));
    }
    ++pos_;
    return true;
  }

  bool ParseKey(ScriptKey* key) {
    if (Peek("NoRemove")) {
      key->noRemove = true;
      ++pos_;
    }
    if (!TakeName(&key->name, "key")) return false;
    if (Peek("=")) {
      std::string value;
      if (!TakeStringValue(&value)) return false;
      key->defaultValue = value;
    }
    if (!Peek("{")) return true;
    ++pos_;
    while (!Peek("}")) {
      if (AtEnd()) return Fail(LastLine(), "'}' missing for key '" + key->name + "'");
      if (Peek("val")) {
        ++pos_;
        std::string name, value;
        if (!TakeName(&name, "value") || !TakeStringValue(&value)) return false;
        key->values.emplace_back(name, value);
        continue;
      }
      ScriptKey sub;
      if (!ParseKey(&sub)) return false;
      key->subKeys.push_back(std::move(sub));
    }
    ++pos_;
    return true;
  }

  const std::string& text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::string* error_ = nullptr;
};

os::Status RegisterKey(os::RegistryKey& key, const ScriptKey& entry) {
  if (entry.defaultValue) {
    if (os::Status s = SetString(key, "", *entry.defaultValue)) return s;
  }
  for (const auto& [name, value] : entry.values) {
    if (os::Status s = SetString(key, name, value)) return s;
  }
  for (const ScriptKey& sub : entry.subKeys) {
    std::unique_ptr<os::RegistryKey> child;
    if (os::Status s = key.CreateKey(sub.name, os::kKeyReadWrite, &child)) return s;
    if (os::Status s = RegisterKey(*child, sub)) return s;
  }
  return os::kSuccess;
}

// Keeps the first failure; a key or value that is already gone is none.
void Note(os::Status status, os::Status* first) {
  if (status != os::kSuccess && status != os::kErrorFileNotFound && *first == os::kSuccess) {
    *first = status;
  }
}

void UnregisterKeyBody(os::RegistryKey& key, const ScriptKey& entry, os::Status* first) {
  for (const auto& value : entry.values) Note(key.DeleteValue(value.first), first);
  for (const ScriptKey& sub : entry.subKeys) {
    if (!sub.noRemove) {
      Note(key.DeleteTree(sub.name), first);
      continue;
    }
    std::unique_ptr<os::RegistryKey> child;
    os::Status s = key.OpenKey(sub.name, os::kKeyReadWrite, &child);
    Note(s, first);
    if (s == os::kSuccess) UnregisterKeyBody(*child, sub, first);
  }
}

}  // namespace

bool ParseRegistryScript(const std::string& text, RegistryScript* script,
                         std::string* error) {
  RegistryScript parsed;
  Parser parser(text);
  if (!parser.Parse(&parsed, error)) return false;
  *script = std::move(parsed);
  return true;
}

os::Status ApplyRegistryScript(os::Registry& registry, const RegistryScript& script,
                               bool registering) {
  os::Status first = os::kSuccess;
  for (const ScriptSection& section : script) {
    for (const ScriptKey& entry : section.keys) {
      if (registering) {
        std::unique_ptr<os::RegistryKey> key;
        if (os::Status s = registry.CreateKey(section.root, entry.name,
                                              os::kKeyReadWrite, &key)) {
          return s;
        }
        if (os::Status s = RegisterKey(*key, entry)) return s;
        continue;
      }
      // A key this script created goes with everything in it; a NoRemove
      // key stays and only what the script put into it is taken out.
      if (!entry.noRemove) {
        Note(registry.DeleteTree(section.root, entry.name), &first);
        continue;
      }
      std::unique_ptr<os::RegistryKey> key;
      os::Status s = registry.OpenKey(section.root, entry.name, os::kKeyReadWrite, &key);
      Note(s, &first);
      if (s == os::kSuccess) UnregisterKeyBody(*key, entry, &first);
    }
  }
  return first;
}

os::HResult UpdateRegistryFromResource(const os::Platform& platform,
                                       std::uint32_t resourceId, bool registering,
                                       std::string* error) {
  std::string text;
  if (!platform.process.LoadResource("REGISTRY", resourceId, &text)) {
    if (error != nullptr) {
      *error = "resource REGISTRY " + std::to_string(resourceId) + " not found";
    }
    return os::HResultFromWin32(kErrorResourceNameNotFound);
  }
  RegistryScript script;
  std::string why;
  if (!ParseRegistryScript(text, &script, &why)) {
    if (error != nullptr) {
      *error = "registry script " + std::to_string(resourceId) + ", " + why;
    }
    return os::kEFail;
  }
  os::Status status = ApplyRegistryScript(platform.registry, script, registering);
  if (status != os::kSuccess && error != nullptr) {
    *error = "registry status " + std::to_string(status);
  }
  return os::HResultFromWin32(status);
}

}  // namespace vorn
