// The boot configuration's XML DOM: the members of IXMLDOMDocument2,
// IXMLDOMNodeList and IXMLDOMNode that the display-text task calls. Text is
// UTF-16, as the DOM holds it. Every call returns an HRESULT; out-parameters
// are written only on success.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/files.h"
#include "os/types.h"

namespace os {

class XmlNodeList;

class XmlNode {
 public:
  virtual ~XmlNode() = default;

  // selectNodes with an XPath location path relative to this node.
  virtual HResult SelectNodes(const std::u16string& path,
                              std::unique_ptr<XmlNodeList>* list) = 0;

  // get_baseName: the local name without a namespace prefix.
  virtual HResult BaseName(std::u16string* name) = 0;

  // get_text: the text content as MSXML gives it with white space not
  // preserved (see the backend for the exact rule).
  virtual HResult Text(std::u16string* text) = 0;

  // put_text: replaces the whole content with this one text.
  virtual HResult PutText(const std::u16string& text) = 0;
};

class XmlNodeList {
 public:
  virtual ~XmlNodeList() = default;

  // get_length.
  virtual HResult Length(std::int32_t* length) = 0;

  // get_item: the node at `index` (from 0). An index out of range gives
  // S_FALSE and a null *node.
  virtual HResult Item(std::int32_t index, std::unique_ptr<XmlNode>* node) = 0;
};

class XmlDocument : public XmlNode {
 public:
  // put_async.
  virtual HResult PutAsync(bool async) = 0;

  // load from a file path (8-bit, active code page). *loaded is true when
  // the file was read and is well-formed. External resources are never
  // resolved and no validation is made. A document with a document type
  // declaration is not loaded (*loaded false): the boot configuration has
  // none, and one could declare entities that expand without bound.
  virtual HResult Load(const std::string& path, bool* loaded) = 0;

  // save the whole document into the open file, from where its handle
  // stands (through a stream on the handle). The file is not flushed. A
  // failure leaves whatever the writer produced in the file.
  virtual HResult Save(NewFile& file) = 0;
};

}  // namespace os
