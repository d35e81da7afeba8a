/* A 32-bit console program: prints its pointer width, so the check sees
   that the guest ran i686 code. With "sleep N" it stays N ms, keeping the
   Wine session (and so its services) alive meanwhile. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "sleep") == 0) {
    Sleep((DWORD)atoi(argv[2]));
    return 0;
  }
  printf("hello from %u-bit code\n", (unsigned)(sizeof(void*) * 8));
  return 7;
}
