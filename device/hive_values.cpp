#include "device/hive_values.h"

#include "os/registry.h"
#include "device/codepage.h"

namespace sim {
namespace {

void Put(HiveKey& key, const std::string& name, std::uint32_t type,
         std::vector<std::uint8_t> data) {
  std::u16string wide = Cp1252ToUtf16(name);
  HiveValue* value = key.FindValue(wide);
  if (value == nullptr) {
    key.values.push_back(HiveValue{wide, type, {}});
    value = &key.values.back();
  }
  value->type = type;
  value->data = std::move(data);
  key.hasSection = true;
}

void AppendUtf16(std::vector<std::uint8_t>* bytes, const std::string& text) {
  AppendUtf16Le(Cp1252ToUtf16(text) + u'\0', bytes);
}

}  // namespace

void PutString(HiveKey& key, const std::string& name, std::uint32_t type,
               const std::string& text) {
  std::vector<std::uint8_t> bytes;
  AppendUtf16(&bytes, text);
  Put(key, name, type, std::move(bytes));
}

void PutDword(HiveKey& key, const std::string& name, std::uint32_t value) {
  Put(key, name, os::kRegDword, DwordData(value));
}

void PutMultiString(HiveKey& key, const std::string& name,
                    const std::vector<std::string>& entries) {
  std::vector<std::uint8_t> bytes;
  for (const auto& entry : entries) AppendUtf16(&bytes, entry);
  bytes.push_back(0);
  bytes.push_back(0);
  Put(key, name, os::kRegMultiSz, std::move(bytes));
}

std::optional<std::string> GetString(HiveKey& key, const std::string& name) {
  HiveValue* value = key.FindValue(Cp1252ToUtf16(name));
  if (value == nullptr ||
      (value->type != os::kRegSz && value->type != os::kRegExpandSz)) {
    return std::nullopt;
  }
  const std::u16string wide = Utf16LeText(value->data);
  return Utf16ToCp1252(wide.substr(0, wide.find(u'\0')));
}

std::optional<std::uint32_t> GetDword(HiveKey& key, const std::string& name) {
  HiveValue* value = key.FindValue(Cp1252ToUtf16(name));
  if (value == nullptr) return std::nullopt;
  return DwordOf(*value);
}

}  // namespace sim
