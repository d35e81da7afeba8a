/* UPnPRegistrar.exe stand-in: records its start (and when), then runs for
 * RegistrarRunsMs milliseconds of the control key (0xFFFFFFFF: for ever)
 * and exits 0. A GUI program: no console for it to open. */
#include "record.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
  (void)instance; (void)previous; (void)arguments; (void)show;
  JsonLine line;
  json_begin(&line, "processStart");
  json_string(&line, "commandLine", GetCommandLineA());
  json_string(&line, "program", "UPnPRegistrar.exe");
  /* When it started, on the clock of the timed lines of Wine's log. */
  json_uint(&line, "tick", GetTickCount());
  json_write(&line);
  Sleep(control_dword(NULL, "RegistrarRunsMs", 2000));  /* INFINITE never returns */
  return 0;
}
