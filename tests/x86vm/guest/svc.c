/* A 32-bit service for Wine's service control manager: RUNNING until a stop
   control, then STOPPED. It leaves C:\svc.txt so the check sees it ran. */
#include <windows.h>
#include <stdio.h>

static SERVICE_STATUS_HANDLE handle;
static HANDLE stop_event;

static void report(DWORD state) {
  SERVICE_STATUS s = {SERVICE_WIN32_OWN_PROCESS, state,
                      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0, NO_ERROR, 0, 0, 0};
  SetServiceStatus(handle, &s);
}

static DWORD WINAPI control(DWORD code, DWORD type, LPVOID data, LPVOID ctx) {
  (void)type; (void)data; (void)ctx;
  if (code == SERVICE_CONTROL_STOP) {
    report(SERVICE_STOP_PENDING);
    SetEvent(stop_event);
  }
  return NO_ERROR;
}

static void WINAPI service_main(DWORD argc, LPSTR* argv) {
  (void)argc; (void)argv;
  handle = RegisterServiceCtrlHandlerExA("VornProbe", control, NULL);
  stop_event = CreateEventA(NULL, TRUE, FALSE, NULL);
  FILE* f = fopen("C:\\svc.txt", "w");
  if (f) { fprintf(f, "running as %u-bit code\n", (unsigned)(sizeof(void*) * 8)); fclose(f); }
  report(SERVICE_RUNNING);
  WaitForSingleObject(stop_event, 60000);
  report(SERVICE_STOPPED);
}

int main(void) {
  SERVICE_TABLE_ENTRYA table[] = {{(LPSTR)"VornProbe", service_main}, {NULL, NULL}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
