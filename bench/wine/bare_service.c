/* The bare service of the boot-cost bench: an own-process service that
   reports RUNNING and then STOPPED at once. Built with the toolchain and
   runtime linkage of VORN.EXE, so that the difference between the two is
   what VORN does. Started with the argument "hold" it stays RUNNING until
   the stop control, so that its memory can be read while it lives.

   Variants that show where VORN's start goes (compiled with -D):
   BARE_USER32: also loads user32.dll, as VORN.EXE does (message boxes,
   the time-change window); BARE_COM: also initialises COM and its
   security before reporting RUNNING, as VORN does. */
#include <windows.h>
#include <objbase.h>

static char name[] = "VornBare";
static SERVICE_STATUS_HANDLE handle;
static HANDLE stop;

static DWORD WINAPI Control(DWORD control, DWORD type, void* data, void* context) {
  (void)type; (void)data; (void)context;
  if (control == SERVICE_CONTROL_STOP && stop != NULL) SetEvent(stop);
  return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD argc, char** argv) {
  const int hold = argc > 1 && lstrcmpA(argv[1], "hold") == 0;
  if (hold) stop = CreateEventA(NULL, TRUE, FALSE, NULL);
  handle = RegisterServiceCtrlHandlerExA(name, Control, NULL);
  if (handle == NULL) return;
#ifdef BARE_USER32
  GetSystemMetrics(SM_CXSCREEN);
#endif
#ifdef BARE_COM
  CoInitialize(NULL);
  CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE,
                       NULL, EOAC_NONE, NULL);
#endif
  SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING,
                           hold ? SERVICE_ACCEPT_STOP : 0, NO_ERROR, 0, 0, 0};
  SetServiceStatus(handle, &status);
  if (hold && stop != NULL) WaitForSingleObject(stop, 60000);
  status.dwCurrentState = SERVICE_STOPPED;
#ifdef BARE_COM
  CoUninitialize();
#endif
  SetServiceStatus(handle, &status);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
  (void)instance; (void)previous; (void)line; (void)show;
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {NULL, NULL}};
  return StartServiceCtrlDispatcherA(table) ? 0 : (int)GetLastError();
}
