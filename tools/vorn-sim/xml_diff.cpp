#include "tools/vorn-sim/xml_diff.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <map>
#include <memory>

namespace sim {
namespace {

using Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// No network, no DTD, no entity substitution: only the document itself.
Doc Parse(const std::string& bytes) {
  xmlInitParser();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return Doc(nullptr, xmlFreeDoc);
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  return Doc(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                           options),
             xmlFreeDoc);
}

std::string Name(const xmlNode* node) {
  std::string name = reinterpret_cast<const char*>(node->name);
  if (node->ns && node->ns->prefix) {
    name = reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
  }
  return name;
}

std::string OwnText(const xmlNode* element) {
  std::string text;
  for (const xmlNode* c = element->children; c; c = c->next) {
    if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) {
      text += reinterpret_cast<const char*>(c->content);
    }
  }
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<const xmlNode*> Elements(const xmlNode* parent) {
  std::vector<const xmlNode*> elements;
  for (const xmlNode* c = parent->children; c; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) elements.push_back(c);
  }
  return elements;
}

// Each child's path step: its name, with its position among the siblings
// of that name when there are several (as XPath counts, from 1).
std::vector<std::string> Steps(const std::vector<const xmlNode*>& elements) {
  std::map<std::string, int> count, seen;
  for (const xmlNode* e : elements) ++count[Name(e)];
  std::vector<std::string> steps;
  for (const xmlNode* e : elements) {
    const std::string name = Name(e);
    const int n = ++seen[name];
    steps.push_back(count[name] > 1 ? name + "[" + std::to_string(n) + "]" : name);
  }
  return steps;
}

std::map<std::string, std::string> Attributes(const xmlNode* element) {
  std::map<std::string, std::string> attributes;
  for (const xmlAttr* a = element->properties; a; a = a->next) {
    std::string name = reinterpret_cast<const char*>(a->name);
    if (a->ns && a->ns->prefix) name = reinterpret_cast<const char*>(a->ns->prefix) + (":" + name);
    xmlChar* value = xmlNodeListGetString(a->doc, a->children, 1);
    attributes[name] = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
  }
  return attributes;
}

class Differ {
 public:
  explicit Differ(XmlDiff* diff) : diff_(diff) {}

  void Element(const xmlNode* a, const xmlNode* b, const std::string& path) {
    const std::string ta = OwnText(a), tb = OwnText(b);
    if (ta != tb) Add(path, ta, tb);
    CompareAttributes(a, b, path);
    const auto ea = Elements(a), eb = Elements(b);
    const auto sa = Steps(ea), sb = Steps(eb);
    std::size_t i = 0;
    for (; i < ea.size() && i < eb.size() && sa[i] == sb[i]; ++i) {
      Element(ea[i], eb[i], path + "/" + sa[i]);
    }
    // From the first child that differs in name, the rest differ as wholes.
    for (std::size_t j = i; j < ea.size(); ++j) Add(path + "/" + sa[j], OwnText(ea[j]), {});
    for (std::size_t j = i; j < eb.size(); ++j) Add(path + "/" + sb[j], {}, OwnText(eb[j]));
  }

 private:
  void CompareAttributes(const xmlNode* a, const xmlNode* b, const std::string& path) {
    const auto aa = Attributes(a), ab = Attributes(b);
    for (const auto& [name, value] : aa) {
      auto it = ab.find(name);
      if (it == ab.end()) {
        Add(path + "/@" + name, value, {});
      } else if (it->second != value) {
        Add(path + "/@" + name, value, it->second);
      }
    }
    for (const auto& [name, value] : ab) {
      if (aa.count(name) == 0) Add(path + "/@" + name, {}, value);
    }
  }

  void Add(const std::string& path, std::optional<std::string> before,
           std::optional<std::string> after) {
    ++diff_->total;
    if (diff_->changes.size() < kMaxXmlChanges) {
      diff_->changes.push_back(XmlChange{path, std::move(before), std::move(after)});
    }
  }

  XmlDiff* diff_;
};

}  // namespace

bool DiffXml(const std::string& before, const std::string& after, XmlDiff* diff) {
  *diff = XmlDiff{};
  Doc a = Parse(before);
  Doc b = Parse(after);
  const xmlNode* ra = a ? xmlDocGetRootElement(a.get()) : nullptr;
  const xmlNode* rb = b ? xmlDocGetRootElement(b.get()) : nullptr;
  if (!ra || !rb) return false;
  Differ differ(diff);
  if (Name(ra) != Name(rb)) {
    diff->total = 1;
    diff->changes.push_back(XmlChange{"/", "<" + Name(ra) + ">", "<" + Name(rb) + ">"});
    return true;
  }
  differ.Element(ra, rb, "/" + Name(ra));
  return true;
}

}  // namespace sim
