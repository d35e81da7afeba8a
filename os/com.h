// COM for the calling thread and the process, and the type library the
// executable carries.
#pragma once

#include <memory>

#include "os/types.h"

namespace os {

class XmlDocument;

class Com {
 public:
  virtual ~Com() = default;

  // CoInitialize(NULL): the calling thread enters a single-threaded
  // apartment. S_OK, S_FALSE (already initialised) or a failure status.
  virtual HResult Initialize() = 0;

  // CoUninitialize; pairs with a successful or S_FALSE Initialize.
  virtual void Uninitialize() = 0;

  // Process-wide COM security: a descriptor with no DACL whose owner and
  // primary group come from the thread token, or from the process token
  // when the thread has none (ERROR_NO_TOKEN); then CoInitializeSecurity
  // with it, authentication services -1, RPC_C_AUTHN_LEVEL_PKT,
  // RPC_C_IMP_LEVEL_IMPERSONATE and EOAC_NONE. Returns the status of
  // CoInitializeSecurity, or the HRESULT of the token step that failed.
  virtual HResult InitializeSecurity() = 0;

  // Registers the type library resource 1 of the executable
  // (LoadTypeLib on the module path, RegisterTypeLib). Returns its status;
  // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) without registering when
  // the module path does not fit in MAX_PATH (260) characters.
  virtual HResult RegisterTypeLibrary() = 0;

  // UnRegisterTypeLib of the library of the executable's resource 1.
  virtual HResult UnregisterTypeLibrary() = 0;

  // CoCreateInstance of the class of ProgID "MSXML2.DOMDocument" with
  // CLSCTX_ALL, asking for IXMLDOMDocument2. On failure returns the status
  // and leaves *document untouched.
  virtual HResult CreateXmlDocument(std::unique_ptr<XmlDocument>* document) = 0;
};

}  // namespace os
