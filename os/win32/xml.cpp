// The boot configuration document through MSXML's DOM.
#include "os/win32/xml.h"

#include "os/win32/backend.h"

namespace os::win32 {
namespace {

std::unique_ptr<XmlNode> MakeNode(ComPtr<IXMLDOMNode> node);

class NodeList final : public XmlNodeList {
 public:
  explicit NodeList(ComPtr<IXMLDOMNodeList> list) : list_(std::move(list)) {}

  HResult Length(std::int32_t* length) override {
    long value = 0;
    HRESULT hr = list_->get_length(&value);
    if (SUCCEEDED(hr)) *length = static_cast<std::int32_t>(value);
    return hr;
  }

  HResult Item(std::int32_t index, std::unique_ptr<XmlNode>* node) override {
    ComPtr<IXMLDOMNode> item;
    HRESULT hr = list_->get_item(index, item.Put());
    if (FAILED(hr)) return hr;
    // Out of range is S_FALSE with no node.
    *node = item ? MakeNode(std::move(item)) : nullptr;
    return hr;
  }

 private:
  ComPtr<IXMLDOMNodeList> list_;
};

// The IXMLDOMNode members shared by nodes and the document.
HResult SelectNodes(IXMLDOMNode* node, const std::u16string& path,
                    std::unique_ptr<XmlNodeList>* list) {
  Bstr query(path);
  if (!query.Get()) return E_OUTOFMEMORY;
  ComPtr<IXMLDOMNodeList> found;
  HRESULT hr = node->selectNodes(query.Get(), found.Put());
  if (SUCCEEDED(hr) && found) *list = std::make_unique<NodeList>(std::move(found));
  return hr;
}

HResult BaseName(IXMLDOMNode* node, std::u16string* name) {
  Bstr value;
  HRESULT hr = node->get_baseName(value.Put());
  if (SUCCEEDED(hr)) *name = value.ToString();
  return hr;
}

// MSXML's get_text: the concatenated text of the subtree with leading and
// trailing white space trimmed (preserveWhiteSpace is left off).
HResult GetText(IXMLDOMNode* node, std::u16string* text) {
  Bstr value;
  HRESULT hr = node->get_text(value.Put());
  if (SUCCEEDED(hr)) *text = value.ToString();
  return hr;
}

HResult PutText(IXMLDOMNode* node, const std::u16string& text) {
  Bstr value(text);
  if (!value.Get()) return E_OUTOFMEMORY;
  return node->put_text(value.Get());
}

class Node final : public XmlNode {
 public:
  explicit Node(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

  HResult SelectNodes(const std::u16string& path,
                      std::unique_ptr<XmlNodeList>* list) override {
    return win32::SelectNodes(node_.Get(), path, list);
  }
  HResult BaseName(std::u16string* name) override {
    return win32::BaseName(node_.Get(), name);
  }
  HResult Text(std::u16string* text) override {
    return GetText(node_.Get(), text);
  }
  HResult PutText(const std::u16string& text) override {
    return win32::PutText(node_.Get(), text);
  }

 private:
  ComPtr<IXMLDOMNode> node_;
};

std::unique_ptr<XmlNode> MakeNode(ComPtr<IXMLDOMNode> node) {
  return std::make_unique<Node>(std::move(node));
}

class Document final : public XmlDocument {
 public:
  explicit Document(ComPtr<IXMLDOMDocument2> document)
      : document_(std::move(document)) {}

  HResult SelectNodes(const std::u16string& path,
                      std::unique_ptr<XmlNodeList>* list) override {
    return win32::SelectNodes(document_.Get(), path, list);
  }
  HResult BaseName(std::u16string* name) override {
    return win32::BaseName(document_.Get(), name);
  }
  HResult Text(std::u16string* text) override {
    return GetText(document_.Get(), text);
  }
  HResult PutText(const std::u16string& text) override {
    return win32::PutText(document_.Get(), text);
  }

  HResult PutAsync(bool async) override {
    return document_->put_async(async ? VARIANT_TRUE : VARIANT_FALSE);
  }

  HResult Load(const std::string& path, bool* loaded) override {
    // The boot configuration is read as it is: no DTD or external entity
    // is fetched and nothing is validated.
    HRESULT hr = document_->put_resolveExternals(VARIANT_FALSE);
    if (FAILED(hr)) return hr;
    hr = document_->put_validateOnParse(VARIANT_FALSE);
    if (FAILED(hr)) return hr;
    Variant source;
    if (!source.SetString(Widen(path))) return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = document_->load(source.Get(), &ok);
    if (SUCCEEDED(hr)) *loaded = ok == VARIANT_TRUE;
    return hr;
  }

  HResult Save(const std::string& path) override {
    Variant destination;
    if (!destination.SetString(Widen(path))) return E_OUTOFMEMORY;
    return document_->save(destination.Get());
  }

 private:
  ComPtr<IXMLDOMDocument2> document_;
};

}  // namespace

std::unique_ptr<XmlDocument> MakeXmlDocument(ComPtr<IXMLDOMDocument2> document) {
  return std::make_unique<Document>(std::move(document));
}

}  // namespace os::win32
