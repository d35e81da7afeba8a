/* vorn-control.exe SERVICE CODE: sends one control to a service, as an
 * administrator's tool does with ControlService (Wine's sc knows only the
 * stop): 1 stop, 2 pause, 3 continue, 4 interrogate, 128 to 255 the
 * service's own codes. Exit 0 when the control was accepted, 1 when the
 * manager or the service refused it (its error on the error output), 64
 * for bad arguments. */
#include <stdio.h>
#include <stdlib.h>

#include "record.h"

static DWORD access_for(DWORD code) {
  if (code == SERVICE_CONTROL_STOP) return SERVICE_STOP;
  if (code == SERVICE_CONTROL_INTERROGATE) return SERVICE_INTERROGATE;
  if (code >= 128) return SERVICE_USER_DEFINED_CONTROL;
  return SERVICE_PAUSE_CONTINUE;
}

int main(int argc, char** argv) {
  char* end = NULL;
  unsigned long code = argc == 3 ? strtoul(argv[2], &end, 10) : 0;
  if (argc != 3 || *end != '\0' || code == 0 || code > 255) {
    fputs("usage: vorn-control.exe SERVICE CODE\n", stderr);
    return 64;
  }
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, argv[1], access_for(code)) : NULL;
  SERVICE_STATUS status;
  BOOL sent = service && ControlService(service, code, &status);
  DWORD error = sent ? 0 : GetLastError();
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  if (!sent) fprintf(stderr, "vorn-control: control %lu to %s: error %lu\n", code, argv[1], error);
  return sent ? 0 : 1;
}
