// The boot configuration document of the simulated device, on libxml2,
// answering as MSXML does for the calls the system makes.
//
// Loading: a document type declaration stops the parser and the document
// is not loaded, as MSXML with ProhibitDTD refuses it; so no entity is ever
// declared, fetched or expanded. No network, and libxml2's depth limit
// stays on (no XML_PARSE_HUGE). A namespace error (an undeclared prefix)
// fails the load, as it does in MSXML.
//
// Text (get_text with white space not preserved): the character data of the
// element's descendants in document order. Text nodes have their leading
// and trailing white space (blank, tab, CR, LF) removed and are left out
// when nothing else remains; CDATA sections are kept as they stand. Two
// trimmed pieces that had white space between them are joined with one
// blank. Line ends are LF, as the parser normalises them.
//
// Saving keeps the loaded file's bytes: while only element texts have been
// set, the file is written as it was read with the content of each changed
// element replaced (the parser records where every element's content lies).
// Where that cannot be done (a changed element that was empty, <a/>, or lay
// inside an entity; a text the file's encoding is not known to carry; a
// UTF-16 file) libxml2's serialisation is written, with the bytes before
// the first top-level node (declaration included) and after the last one
// taken from the file, and CR LF line ends when the file used them
// throughout; inside the root element libxml2's form then applies
// (attribute order and quotes, empty elements, character references).
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "device/codepage.h"
#include "device/disk.h"
#include "os/sim/sim_machine.h"
#include "os/sim/sim_host.h"
#include "os/xml.h"

namespace sim {
namespace {

constexpr os::HResult kEInvalidArg = static_cast<os::HResult>(0x80070057u);

xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternal);
  });
}

std::string ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text); }
std::u16string FromUtf8(const xmlChar* text) {
  return text ? Utf8ToUtf16(reinterpret_cast<const char*>(text)) : std::u16string();
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// What the serializer cannot know about the loaded file.
struct Layout {
  bool asciiCompatible = false;  // the bytes can be spliced as 8-bit text
  std::string head;              // bytes before the first top-level node
  std::string tail;              // bytes after the last top-level node
  bool crlf = false;             // every LF was preceded by CR
};

Layout ReadLayout(const std::string& bytes) {
  Layout layout;
  std::size_t start = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  if (start == 0 && bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    return layout;  // UTF-16: left to the serializer
  }
  std::size_t pos = start;
  if (bytes.compare(pos, 5, "<?xml") == 0 &&
      (pos + 5 < bytes.size() && IsXmlSpace(bytes[pos + 5]))) {
    const std::size_t end = bytes.find("?>", pos);
    if (end == std::string::npos) return layout;
    pos = end + 2;
  }
  while (pos < bytes.size() && IsXmlSpace(bytes[pos])) ++pos;
  std::size_t last = bytes.size();
  while (last > pos && IsXmlSpace(bytes[last - 1])) --last;
  layout.asciiCompatible = true;
  layout.head = bytes.substr(0, pos);
  layout.tail = bytes.substr(last);
  std::size_t lf = 0, crlf = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ++lf;
      if (i > 0 && bytes[i - 1] == '\r') ++crlf;
    }
  }
  layout.crlf = lf > 0 && lf == crlf;
  return layout;
}

// Where an element's content lies in the loaded file: [begin, end).
// Offsets fit 32 bits: the parser takes no more than INT_MAX bytes.
struct Span {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;  // 0 until the end tag is seen where it was expected
};

// An element's span is found through its node's _private field, which
// holds the span's index plus one (0: none). A vector and a field of the
// node keep the cost per element at a few bytes and no lookup, where the
// loaded file may hold millions of elements.
using Spans = std::vector<Span>;

const Span* SpanOf(const Spans& spans, xmlNodePtr node) {
  const auto index = reinterpret_cast<std::uintptr_t>(node->_private);
  if (index == 0 || index > spans.size()) return nullptr;
  const Span& span = spans[index - 1];
  return span.end != 0 ? &span : nullptr;
}

// The loaded tree, shared by the document and every node handed out, as a
// COM node keeps its document alive.
struct Tree {
  xmlDocPtr doc = nullptr;
  Layout layout;
  std::string original;                  // the file as loaded
  bool utf8 = true;                      // the file's encoding is UTF-8
  Spans spans;                           // content of each element of the file
  std::map<std::size_t, std::pair<std::size_t, std::string>> edits;  // begin -> end, text
  bool spliceable = true;                // the edits describe every change
  // One XPath context for every selectNodes on this tree: creating one
  // registers all XPath functions anew, which cost more than the query
  // itself when the display search runs once per init command.
  xmlXPathContextPtr xpath = nullptr;
  ~Tree() {
    if (xpath) xmlXPathFreeContext(xpath);
    if (doc) xmlFreeDoc(doc);
  }

  // put_text on `node`: its old content, and any edit inside it, give way.
  void RecordText(xmlNodePtr node, const std::string& utf8Text) {
    const Span* found = SpanOf(spans, node);
    if (!found || !layout.asciiCompatible) {
      spliceable = false;
      return;
    }
    const Span span = *found;
    edits.erase(edits.lower_bound(span.begin), edits.lower_bound(span.end));
    edits[span.begin] = {span.end, utf8Text};
  }

  // The descendants of `node` are about to be freed.
  void Forget(xmlNodePtr node) {
    for (xmlNodePtr child = node->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) {
        Forget(child);
        child->_private = nullptr;
      }
    }
  }
};

// Character data as it is written between tags.
bool EscapeText(const std::string& text, bool crlf, bool utf8, std::string* out) {
  for (char c : text) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '\r': *out += "&#13;"; break;
      case '\n': *out += crlf ? "\r\n" : "\n"; break;
      default:
        // Other encodings carry ASCII for certain; beyond it, the serializer.
        if (!utf8 && static_cast<unsigned char>(c) >= 0x80) return false;
        *out += c;
    }
  }
  return true;
}

// Parser callbacks that note where each element's content starts and ends
// in the file: libxml2 announces a start tag with the input at its closing
// '>' (or "/>") and an end tag just past its '>'.
struct SpanRecorder {
  Spans* spans;
  const std::string* bytes;
  bool doctype = false;  // the document has a document type declaration
};

// Called at "<!DOCTYPE", before any declaration of the DTD is read.
void InternalSubset(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  if (auto* recorder = static_cast<SpanRecorder*>(ctxt->_private)) recorder->doctype = true;
  xmlStopParser(ctxt);
}

void StartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                  int nbNamespaces, const xmlChar** namespaces, int nbAttributes,
                  int nbDefaulted, const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                        nbDefaulted, attributes);
  auto* recorder = static_cast<SpanRecorder*>(ctxt->_private);
  if (recorder && ctxt->inputNr == 1 && ctxt->node) {
    const long at = xmlByteConsumed(ctxt);
    if (at >= 0) {
      recorder->spans->push_back(Span{static_cast<std::uint32_t>(at), 0});
      ctxt->node->_private = reinterpret_cast<void*>(recorder->spans->size());
    }
  }
}

void EndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  auto* recorder = static_cast<SpanRecorder*>(ctxt->_private);
  if (recorder && ctxt->inputNr == 1 && ctxt->node) {
    const long at = xmlByteConsumed(ctxt);
    const auto index = reinterpret_cast<std::uintptr_t>(ctxt->node->_private);
    const std::string& bytes = *recorder->bytes;
    Span* span = index > 0 && index <= recorder->spans->size()
                     ? &(*recorder->spans)[index - 1]
                     : nullptr;
    if (at > 0 && span && span->begin < bytes.size() && bytes[span->begin] == '>' &&
        static_cast<std::size_t>(at) <= bytes.size()) {
      const std::size_t begin = span->begin + 1;
      const std::size_t close = bytes.rfind('<', static_cast<std::size_t>(at) - 1);
      if (close != std::string::npos && close >= begin && bytes.compare(close, 2, "</") == 0) {
        *span = Span{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(close)};
      }
    }
  }
  xmlSAX2EndElementNs(ctx, localname, prefix, uri);
}

// get_text's pieces, collected in document order.
struct TextBuilder {
  std::string out;
  bool pendingSpace = false;  // white space seen since the last piece
  std::size_t budget = 64u << 20;  // bounds entity expansion
  bool overflow = false;

  void AddText(const std::string& raw) {
    std::size_t b = 0, e = raw.size();
    while (b < e && IsXmlSpace(raw[b])) ++b;
    while (e > b && IsXmlSpace(raw[e - 1])) --e;
    if (b == e) {
      if (!raw.empty()) pendingSpace = true;
      return;
    }
    if (b > 0) pendingSpace = true;
    Append(raw.substr(b, e - b));
    pendingSpace = e < raw.size();
  }
  void AddCdata(const std::string& raw) {
    Append(raw);
    pendingSpace = false;
  }
  void Append(const std::string& piece) {
    if (pendingSpace && !out.empty()) out += ' ';
    if (out.size() + piece.size() > budget) {
      overflow = true;
      return;
    }
    out += piece;
  }
  void Walk(xmlNodePtr node, int depth) {
    if (overflow || depth > 64) {
      overflow = true;
      return;
    }
    for (xmlNodePtr child = node->children; child && !overflow; child = child->next) {
      switch (child->type) {
        case XML_TEXT_NODE:
          AddText(child->content ? reinterpret_cast<const char*>(child->content) : "");
          break;
        case XML_CDATA_SECTION_NODE:
          AddCdata(child->content ? reinterpret_cast<const char*>(child->content) : "");
          break;
        case XML_ELEMENT_NODE:
          Walk(child, depth + 1);
          break;
        case XML_ENTITY_REF_NODE: {
          // The entity's replacement text, as MSXML expands it; an external
          // entity was never loaded and gives nothing.
          xmlEntityPtr entity = reinterpret_cast<xmlEntityPtr>(child->children);
          if (entity && entity->type == XML_ENTITY_DECL) {
            Walk(reinterpret_cast<xmlNodePtr>(entity), depth + 1);
          }
          break;
        }
        default:
          break;  // comments and processing instructions carry no text
      }
    }
  }
};

class SimXmlNodeList;

class SimXmlNode : public os::XmlNode {
 public:
  SimXmlNode(Device& device, std::shared_ptr<Tree> tree, xmlNodePtr node)
      : device_(device), tree_(std::move(tree)), node_(node) {}

  os::HResult SelectNodes(const std::u16string& path,
                          std::unique_ptr<os::XmlNodeList>* list) override;

  os::HResult BaseName(std::u16string* name) override {
    if (auto e = device_.Fault("IXMLDOMNode::get_baseName")) return static_cast<os::HResult>(*e);
    if (!node_ || node_->type != XML_ELEMENT_NODE) return os::kSFalse;
    *name = FromUtf8(node_->name);  // libxml2 keeps the prefix apart
    return os::kSOk;
  }

  os::HResult Text(std::u16string* text) override {
    if (auto e = device_.Fault("IXMLDOMNode::get_text")) return static_cast<os::HResult>(*e);
    if (!node_) return os::kSOk;
    TextBuilder builder;
    builder.Walk(node_, 0);
    if (builder.overflow) return os::kEOutOfMemory;
    *text = Utf8ToUtf16(builder.out);
    return os::kSOk;
  }

  os::HResult PutText(const std::u16string& text) override {
    if (auto e = device_.Fault("IXMLDOMNode::put_text")) return static_cast<os::HResult>(*e);
    if (!node_ || node_->type != XML_ELEMENT_NODE) return os::kEFail;
    const std::string utf8 = ToUtf8(text);
    tree_->Forget(node_);
    tree_->RecordText(node_, utf8);
    xmlNodePtr child = node_->children;
    while (child) {
      xmlNodePtr next = child->next;
      xmlUnlinkNode(child);
      xmlFreeNode(child);
      child = next;
    }
    // xmlNewDocTextLen stores the text as it is: nothing in it is taken for
    // markup or an entity reference.
    xmlNodePtr fresh = xmlNewDocTextLen(node_->doc, reinterpret_cast<const xmlChar*>(utf8.data()),
                                        static_cast<int>(utf8.size()));
    if (!fresh) return os::kEOutOfMemory;
    xmlAddChild(node_, fresh);
    return os::kSOk;
  }

 protected:
  Device& device_;
  std::shared_ptr<Tree> tree_;
  xmlNodePtr node_;
};

class SimXmlNodeList : public os::XmlNodeList {
 public:
  SimXmlNodeList(Device& device, std::shared_ptr<Tree> tree, std::vector<xmlNodePtr> nodes)
      : device_(device), tree_(std::move(tree)), nodes_(std::move(nodes)) {}

  os::HResult Length(std::int32_t* length) override {
    if (auto e = device_.Fault("IXMLDOMNodeList::get_length")) {
      return static_cast<os::HResult>(*e);
    }
    *length = static_cast<std::int32_t>(nodes_.size());
    return os::kSOk;
  }

  os::HResult Item(std::int32_t index, std::unique_ptr<os::XmlNode>* node) override {
    if (auto e = device_.Fault("IXMLDOMNodeList::get_item")) return static_cast<os::HResult>(*e);
    if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) {
      node->reset();
      return os::kSFalse;
    }
    *node = std::make_unique<SimXmlNode>(device_, tree_, nodes_[static_cast<std::size_t>(index)]);
    return os::kSOk;
  }

 private:
  Device& device_;
  std::shared_ptr<Tree> tree_;
  std::vector<xmlNodePtr> nodes_;
};

os::HResult SimXmlNode::SelectNodes(const std::u16string& path,
                                    std::unique_ptr<os::XmlNodeList>* list) {
  if (auto e = device_.Fault("IXMLDOMNode::selectNodes")) return static_cast<os::HResult>(*e);
  if (!tree_ || !tree_->doc || !node_) {
    *list = std::make_unique<SimXmlNodeList>(device_, tree_, std::vector<xmlNodePtr>());
    return os::kSOk;
  }
  if (!tree_->xpath) tree_->xpath = xmlXPathNewContext(tree_->doc);
  xmlXPathContextPtr context = tree_->xpath;
  if (!context) return os::kEOutOfMemory;
  context->node = node_;
  const std::string query = ToUtf8(path);
  xmlXPathObjectPtr result =
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(query.c_str()), context);
  if (!result) return kEInvalidArg;  // not a location path
  std::vector<xmlNodePtr> nodes;
  if (result->type != XPATH_NODESET) {
    xmlXPathFreeObject(result);
    return kEInvalidArg;
  }
  if (result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      nodes.push_back(result->nodesetval->nodeTab[i]);
    }
  }
  xmlXPathFreeObject(result);
  *list = std::make_unique<SimXmlNodeList>(device_, tree_, std::move(nodes));
  return os::kSOk;
}

class SimXmlDocument : public os::XmlDocument {
 public:
  explicit SimXmlDocument(Device& device)
      : device_(device), tree_(std::make_shared<Tree>()) {}

  os::HResult SelectNodes(const std::u16string& path,
                          std::unique_ptr<os::XmlNodeList>* list) override {
    return Root().SelectNodes(path, list);
  }
  os::HResult BaseName(std::u16string* name) override { return Root().BaseName(name); }
  os::HResult Text(std::u16string* text) override { return Root().Text(text); }
  os::HResult PutText(const std::u16string& text) override { return Root().PutText(text); }

  os::HResult PutAsync(bool async) override {
    if (auto e = device_.Fault("IXMLDOMDocument::put_async")) return static_cast<os::HResult>(*e);
    (void)async;  // loads here always finish before Load returns
    return os::kSOk;
  }

  os::HResult Load(const std::string& path, bool* loaded) override {
    if (auto e = device_.Fault("IXMLDOMDocument::load")) return static_cast<os::HResult>(*e);
    InitLibxml();
    // A new load replaces whatever the document held, loaded or not.
    tree_ = std::make_shared<Tree>();
    *loaded = false;
    std::string bytes;
    {
      std::ifstream in(device_.HostPath(path), std::ios::binary | std::ios::ate);
      if (!in) return os::kSFalse;
      const std::streamoff size = in.tellg();
      // Beyond what the parser takes in one piece: not loaded.
      if (size < 0 || size > std::numeric_limits<int>::max()) return os::kSFalse;
      bytes.resize(static_cast<std::size_t>(size));
      in.seekg(0);
      if (!in.read(bytes.data(), size)) return os::kSFalse;
    }
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return os::kEOutOfMemory;
    auto tree = std::make_shared<Tree>();
    SpanRecorder recorder{&tree->spans, &bytes};
    context->_private = &recorder;
    context->sax->startElementNs = StartElement;
    context->sax->endElementNs = EndElement;
    context->sax->internalSubset = InternalSubset;
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, nullptr, options);
    const bool ok = doc && !recorder.doctype && context->wellFormed && context->nsWellFormed &&
                    xmlDocGetRootElement(doc);
    xmlFreeParserCtxt(context);
    if (!ok) {
      if (doc) xmlFreeDoc(doc);
      return os::kSFalse;
    }
    tree->doc = doc;
    tree->layout = ReadLayout(bytes);
    const char* encoding = reinterpret_cast<const char*>(doc->encoding);
    tree->utf8 = !encoding || xmlStrcasecmp(doc->encoding, BAD_CAST "UTF-8") == 0 ||
                 xmlStrcasecmp(doc->encoding, BAD_CAST "UTF8") == 0;
    tree->original = std::move(bytes);
    tree_ = std::move(tree);
    *loaded = true;
    return os::kSOk;
  }

  os::HResult Save(os::NewFile& file) override {
    if (auto e = device_.Fault("IXMLDOMDocument::save")) return static_cast<os::HResult>(*e);
    if (!tree_->doc) return os::kEFail;
    std::string bytes;
    if (!Serialize(&bytes)) return os::kEOutOfMemory;
    return os::HResultFromWin32(
        WriteDeviceFile(device_, static_cast<SimNewFile&>(file).path(), bytes));
  }

 private:
  SimXmlNode Root() {
    return SimXmlNode(device_, tree_, reinterpret_cast<xmlNodePtr>(tree_->doc));
  }

  // The loaded file with the changed element contents put in.
  bool Splice(std::string* bytes) {
    const Tree& tree = *tree_;
    if (!tree.spliceable || !tree.layout.asciiCompatible) return false;
    // The new texts first, so that the file is assembled in one buffer of
    // its final size: the original may be large and the edits are few.
    std::vector<std::string> texts;
    std::size_t size = tree.original.size();
    for (const auto& [begin, edit] : tree.edits) {
      texts.emplace_back();
      if (!EscapeText(edit.second, tree.layout.crlf, tree.utf8, &texts.back())) return false;
      size = size - (edit.first - begin) + texts.back().size();
    }
    std::string out;
    out.reserve(size);
    std::size_t at = 0;
    std::size_t i = 0;
    for (const auto& [begin, edit] : tree.edits) {
      out.append(tree.original, at, begin - at);
      out += texts[i++];
      at = edit.first;
    }
    out.append(tree.original, at, std::string::npos);
    *bytes = std::move(out);
    return true;
  }

  bool Serialize(std::string* bytes) {
    if (Splice(bytes)) return true;
    const Layout& layout = tree_->layout;
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer) return false;
    const char* encoding = reinterpret_cast<const char*>(tree_->doc->encoding);
    int options = XML_SAVE_AS_XML;
    if (layout.asciiCompatible) options |= XML_SAVE_NO_DECL;
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, encoding, options);
    if (!save) {
      xmlBufferFree(buffer);
      return false;
    }
    const bool ok = xmlSaveDoc(save, tree_->doc) >= 0;
    xmlSaveClose(save);
    std::string body(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     static_cast<std::size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    if (!ok) return false;
    if (!layout.asciiCompatible) {
      *bytes = std::move(body);
      return true;
    }
    while (!body.empty() && IsXmlSpace(body.back())) body.pop_back();
    if (layout.crlf) {
      std::string converted;
      converted.reserve(body.size() + body.size() / 16);
      for (char c : body) {
        if (c == '\n') converted += '\r';
        converted += c;
      }
      body.swap(converted);
    }
    *bytes = layout.head + body + layout.tail;
    return true;
  }

  Device& device_;
  std::shared_ptr<Tree> tree_;
};

}  // namespace

os::HResult SimCom::CreateXmlDocument(std::unique_ptr<os::XmlDocument>* document) {
  if (auto e = device_.Fault("CoCreateInstance")) return static_cast<os::HResult>(*e);
  *document = std::make_unique<SimXmlDocument>(device_);
  return os::kSOk;
}

}  // namespace sim
