// The MSXML DOM behind os::XmlDocument.
#pragma once

#include <memory>

#include <msxml2.h>

#include "os/win32/handles.h"
#include "os/xml.h"

namespace os::win32 {

// IID of IXMLDOMDocument2, which the toolchain's libraries do not carry.
inline constexpr IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

std::unique_ptr<XmlDocument> MakeXmlDocument(ComPtr<IXMLDOMDocument2> document);

}  // namespace os::win32
