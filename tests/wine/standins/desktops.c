#include "desktops.h"

typedef struct {
  BOOL (*visit)(void* context);
  void* context;
  BOOL stopped;
  HWINSTA home_station;
  HDESK home_desktop;
  char home_name[512];  /* "station\desktop" */
  char station[256];
  HWINSTA station_handle;
} Walk;

static void object_name(HANDLE object, char* name, DWORD size) {
  DWORD needed = 0;
  name[0] = 0;
  if (!GetUserObjectInformationA(object, UOI_NAME, name, size, &needed)) name[0] = 0;
}

static BOOL CALLBACK visit_desktop(LPSTR name, LPARAM parameter) {
  Walk* walk = (Walk*)parameter;
  char full[512];
  lstrcpynA(full, walk->station, 256);
  lstrcatA(full, "\\");
  lstrcatA(full, name);
  if (lstrcmpiA(full, walk->home_name) == 0) return TRUE;  /* visited first */
  HDESK desktop = OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
  if (!desktop) return TRUE;
  if (SetThreadDesktop(desktop)) {
    walk->stopped = !walk->visit(walk->context);
    /* A thread can only go back to a desktop of the process's window
     * station, and a desktop in use cannot be closed. */
    SetProcessWindowStation(walk->home_station);
    SetThreadDesktop(walk->home_desktop);
    SetProcessWindowStation(walk->station_handle);
  }
  CloseDesktop(desktop);
  return !walk->stopped;
}

static BOOL CALLBACK visit_station(LPSTR name, LPARAM parameter) {
  Walk* walk = (Walk*)parameter;
  HWINSTA station = OpenWindowStationA(name, FALSE, GENERIC_ALL);
  if (!station) return TRUE;
  lstrcpynA(walk->station, name, sizeof walk->station);
  walk->station_handle = station;
  /* OpenDesktop opens desktops of the process's window station. */
  if (SetProcessWindowStation(station)) {
    EnumDesktopsA(station, visit_desktop, parameter);
    SetProcessWindowStation(walk->home_station);
  }
  CloseWindowStation(station);
  return !walk->stopped;
}

void for_each_desktop(BOOL (*visit)(void* context), void* context) {
  Walk walk;
  char desktop[256];
  ZeroMemory(&walk, sizeof walk);
  walk.visit = visit;
  walk.context = context;
  walk.home_station = GetProcessWindowStation();
  walk.home_desktop = GetThreadDesktop(GetCurrentThreadId());
  object_name(walk.home_station, walk.home_name, 256);
  object_name(walk.home_desktop, desktop, sizeof desktop);
  lstrcatA(walk.home_name, "\\");
  lstrcatA(walk.home_name, desktop);
  if (!visit(context)) return;
  EnumWindowStationsA(visit_station, (LPARAM)&walk);
}
