/* vorn-launch.exe: starts the command line held in C:\vorntest\command.txt
 * (exactly as written: the device's "<imagePath> ARGS..."), with this
 * process's standard handles, waits for it and writes its exit code, all 32
 * bits as a signed number, to C:\vorntest\exit.txt. Wine's own exit status
 * keeps only the low 8 bits. Exit 0 when the code was written. */
#include <stdio.h>
#include <windows.h>

int main(void) {
  char line[32768];
  FILE* in = fopen("C:\\vorntest\\command.txt", "rb");
  if (!in) return 2;
  size_t n = fread(line, 1, sizeof line - 1, in);
  fclose(in);
  line[n] = 0;

  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) return 3;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(pi.hProcess, &code)) return 4;
  FILE* out = fopen("C:\\vorntest\\exit.txt", "wb");
  if (!out) return 5;
  fprintf(out, "%ld", (long)(LONG)code);
  fclose(out);
  return 0;
}
