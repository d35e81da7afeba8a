/* scm_timer SERVICE COUNT [hold]: starts SERVICE COUNT times through the
   service control manager and prints one line per start:
     start <i> running_ms <t> stopped_ms <t> peak_kb <k> exit <code> tick0 <ms>
   running_ms: from the StartService call to the first state seen that is
   RUNNING or later (a service that passes RUNNING between two polls counts
   at the poll that sees it stopped); stopped_ms: to STOPPED. The state is
   polled without pause. peak_kb: the service process's peak working set,
   the largest seen while it lived (0 when it ended before it could be
   opened). Each start waits for the process to end before the next.
   tick0: GetTickCount at the StartService call, to place Wine's
   +timestamp trace lines. "hold": the start passes the argument "hold" (the
   bare service then stays RUNNING), the memory is read for 200 ms after
   RUNNING and the service is then sent the stop control. */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static double Ms(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER freq) {
  return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)freq.QuadPart;
}

static int StartOnce(SC_HANDLE service, int index, LARGE_INTEGER freq, int hold) {
  SERVICE_STATUS_PROCESS s;
  DWORD needed, pid = 0;
  HANDLE process = NULL;
  SIZE_T peak = 0;
  LARGE_INTEGER t0, now, running = {0}, stopped = {0};
  const char* args[] = {"hold"};
  const DWORD tick0 = GetTickCount();
  QueryPerformanceCounter(&t0);
  if (!StartServiceA(service, hold ? 1 : 0, hold ? args : NULL)) {
    printf("start %d error %lu\n", index, GetLastError());
    return 1;
  }
  for (;;) {
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&s, sizeof s, &needed)) {
      printf("start %d query-error %lu\n", index, GetLastError());
      return 1;
    }
    QueryPerformanceCounter(&now);
    if (process == NULL && s.dwProcessId != 0) {
      pid = s.dwProcessId;
      process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
    }
    if (process != NULL) {
      PROCESS_MEMORY_COUNTERS m;
      if (GetProcessMemoryInfo(process, &m, sizeof m) && m.PeakWorkingSetSize > peak)
        peak = m.PeakWorkingSetSize;
    }
    if (running.QuadPart == 0 && s.dwCurrentState != SERVICE_START_PENDING) running = now;
    if (hold && s.dwCurrentState == SERVICE_RUNNING && Ms(running, now, freq) > 200.0) {
      SERVICE_STATUS ignored;
      ControlService(service, SERVICE_CONTROL_STOP, &ignored);
      hold = 0;
    }
    if (s.dwCurrentState == SERVICE_STOPPED) { stopped = now; break; }
    if (Ms(t0, now, freq) > 120000.0) { printf("start %d timeout\n", index); return 1; }
  }
  if (process != NULL) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
  printf("start %d running_ms %.3f stopped_ms %.3f peak_kb %lu exit %lu tick0 %lu\n", index,
         Ms(t0, running, freq), Ms(t0, stopped, freq), (unsigned long)(peak / 1024),
         s.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? s.dwServiceSpecificExitCode
                                                           : s.dwWin32ExitCode,
         (unsigned long)tick0);
  fflush(stdout);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) { fprintf(stderr, "usage: scm_timer SERVICE COUNT [hold]\n"); return 2; }
  const int hold = argc == 4 && strcmp(argv[3], "hold") == 0;
  int count = atoi(argv[2]);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
  SC_HANDLE service = scm ? OpenServiceA(scm, argv[1], SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS) : NULL;
  if (service == NULL) { fprintf(stderr, "scm_timer: cannot open %s: %lu\n", argv[1], GetLastError()); return 1; }
  int failures = 0;
  for (int i = 1; i <= count; ++i) failures += StartOnce(service, i, freq, hold);
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  return failures ? 1 : 0;
}
