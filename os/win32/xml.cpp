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

// The second-level properties that keep a load from reaching beyond the
// file or growing without bound. setProperty answers E_FAIL for a name this
// MSXML does not know: the load goes on without that property, so that a
// device whose MSXML predates it still updates its display; any other
// failure is the load's.
HRESULT SetOptionalProperty(IXMLDOMDocument2* document, const char16_t* name,
                            const VARIANT& value) {
  Bstr property(name);
  if (!property.Get()) return E_OUTOFMEMORY;
  const HRESULT hr = document->setProperty(property.Get(), value);
  return hr == E_FAIL ? S_OK : hr;
}

// The boot configuration is read as it stands, and the service reads it as
// LocalSystem although less trusted users may be able to write it:
//  - resolveExternals off: no DTD or external entity is fetched (MSXML 3.0,
//    which "MSXML2.DOMDocument" names, resolves them by default);
//  - validateOnParse off: nothing is validated;
//  - ProhibitDTD: a document with a DTD is not loaded at all, so no entity
//    is declared or expanded (MSXML 3.0 has no bound on entity expansion);
//  - MaxElementDepth 256: the nesting the simulated device's parser allows.
HRESULT Harden(IXMLDOMDocument2* document) {
  HRESULT hr = document->put_resolveExternals(VARIANT_FALSE);
  if (FAILED(hr)) return hr;
  hr = document->put_validateOnParse(VARIANT_FALSE);
  if (FAILED(hr)) return hr;
  VARIANT prohibit;
  ::VariantInit(&prohibit);
  prohibit.vt = VT_BOOL;
  prohibit.boolVal = VARIANT_TRUE;
  hr = SetOptionalProperty(document, u"ProhibitDTD", prohibit);
  if (FAILED(hr)) return hr;
  VARIANT depth;
  ::VariantInit(&depth);
  depth.vt = VT_I4;
  depth.lVal = 256;
  return SetOptionalProperty(document, u"MaxElementDepth", depth);
}

// A write-only stream on the new file's handle, appending from where the
// handle stands, for the document's save. It only appends: a seek that does
// not move answers where it stands (bytes written so far), any other fails.
class FileStream final : public IStream {
 public:
  explicit FileStream(HANDLE file) : file_(file) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_ISequentialStream && iid != IID_IStream) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  // Lives on the saving function's stack; the save holds no reference after.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(file_, data, size, &done, nullptr);
    written_ += done;
    if (written != nullptr) *written = done;
    return ok ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    if (move.QuadPart != 0 || origin == STREAM_SEEK_SET) return STG_E_INVALIDFUNCTION;
    if (position != nullptr) position->QuadPart = written_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = written_;
    stat->grfMode = STGM_WRITE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  HANDLE file_;
  ULONG references_ = 1;
  ULONGLONG written_ = 0;
};

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
    HRESULT hr = Harden(document_.Get());
    if (FAILED(hr)) return hr;
    Variant source;
    if (!source.SetString(Widen(path))) return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = document_->load(source.Get(), &ok);
    if (FAILED(hr)) return hr;
    if (ok == VARIANT_TRUE) {
      // Where ProhibitDTD is not offered (or, as under Wine, accepted and
      // ignored) a document with a DTD still loads; it is refused here.
      ComPtr<IXMLDOMDocumentType> type;
      const HRESULT typeHr = document_->get_doctype(type.Put());
      if (FAILED(typeHr)) return typeHr;
      if (type) ok = VARIANT_FALSE;
    }
    *loaded = ok == VARIANT_TRUE;
    return hr;
  }

  // The VARIANT does not own the stream: it is only lent to the call.
  HResult Save(os::NewFile& file) override {
    FileStream stream(static_cast<win32::NewFile&>(file).Get());
    VARIANT destination;
    ::VariantInit(&destination);
    destination.vt = VT_UNKNOWN;
    destination.punkVal = &stream;
    return document_->save(destination);
  }

 private:
  ComPtr<IXMLDOMDocument2> document_;
};

}  // namespace

std::unique_ptr<XmlDocument> MakeXmlDocument(ComPtr<IXMLDOMDocument2> document) {
  return std::make_unique<Document>(std::move(document));
}

}  // namespace os::win32
