/* FBWFLIB.dll stand-in: the filter state comes from the control key
 * (FbwfStatus, FbwfCurrent, FbwfNext); every call is recorded. */
#include "record.h"

__declspec(dllexport) ULONG WINAPI FbwfIsFilterEnabled(PULONG currentSession,
                                                       PULONG nextSession) {
  JsonLine line;
  ULONG status = control_dword(NULL, "FbwfStatus", 0);
  if (!currentSession || !nextSession) status = ERROR_INVALID_PARAMETER;
  json_begin(&line, "writeFilterCall");
  json_string(&line, "entry", "FbwfIsFilterEnabled");
  json_uint(&line, "result", status);
  if (status == NO_ERROR) {
    *currentSession = control_dword(NULL, "FbwfCurrent", 0);
    *nextSession = control_dword(NULL, "FbwfNext", 0);
    json_uint(&line, "current", *currentSession);
    json_uint(&line, "next", *nextSession);
  }
  json_write(&line);
  return status;
}
