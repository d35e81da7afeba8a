// An XML-aware comparison of two versions of a document (the boot
// configuration, say): the element texts and attributes that differ and the
// elements added or removed, each named by a path like
// /QvBootProject/InitCmds/InitCmd[3]/data. Comments, processing
// instructions and layout are left aside.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct XmlChange {
  std::string path;  // an element, or an attribute (".../@name")
  // The element's own text (its text and CDATA children, trimmed) or the
  // attribute's value; empty when that side lacks the element or attribute.
  std::optional<std::string> before;
  std::optional<std::string> after;
};

struct XmlDiff {
  std::vector<XmlChange> changes;  // in document order, at most kMaxXmlChanges
  std::size_t total = 0;           // how many there are in all
};

constexpr std::size_t kMaxXmlChanges = 100;

// False when either text is not a well-formed document.
bool DiffXml(const std::string& before, const std::string& after, XmlDiff* diff);

}  // namespace sim
