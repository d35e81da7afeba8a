/* UPnPAgent.dll stand-in: the results of its registration entry points
 * come from the control key (RegisterResult, UnregisterResult); every call
 * is recorded. Built four times: complete, without DllUnregisterServer
 * (VORN_NO_UNREGISTER), without DllRegisterServer (VORN_NO_REGISTER) and
 * without either. */
#include "record.h"

#if !defined(VORN_NO_REGISTER) || !defined(VORN_NO_UNREGISTER)
static HRESULT answer(const char* entry, const char* value) {
  JsonLine line;
  HRESULT result = (HRESULT)control_dword(NULL, value, 0);
  json_begin(&line, "libraryCall");
  json_string(&line, "library", "UPnPAgent.dll");
  json_string(&line, "entry", entry);
  json_int(&line, "result", (long)result);
  json_write(&line);
  return result;
}
#endif

#ifndef VORN_NO_REGISTER
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  return answer("DllRegisterServer", "RegisterResult");
}
#endif

#ifndef VORN_NO_UNREGISTER
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  return answer("DllUnregisterServer", "UnregisterResult");
}
#endif
