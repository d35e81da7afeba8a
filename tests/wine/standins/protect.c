/* vorn-protect.exe FILE: gives each key FILE names (one a line,
 * "HKEY_LOCAL_MACHINE\..." as the device spells it) a security that
 * grants everyone reading only, so that opening it for writing, setting
 * or deleting its values and deleting it are refused with 5, and an open
 * with MAXIMUM_ALLOWED gets a handle for reading, as on a device whose
 * key's security denies writing. Wine keeps a key's security only while
 * its server runs: the run protects the keys in the session VORN.EXE runs
 * in. Exit 0 when every key was protected, 1 when one was not (its error on
 * the error output), 64 for bad arguments. */
#include <aclapi.h>
#include <stdio.h>
#include <string.h>

#include "record.h"

static const char kRoot[] = "HKEY_LOCAL_MACHINE\\";

static DWORD read_only_acl(PACL* acl) {
  static SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
  PSID everyone = NULL;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return GetLastError();
  EXPLICIT_ACCESSA access;
  ZeroMemory(&access, sizeof access);
  access.grfAccessPermissions = KEY_READ;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = (LPSTR)everyone;
  DWORD error = SetEntriesInAclA(1, &access, NULL, acl);
  FreeSid(everyone);
  return error;
}

static DWORD protect(const char* name, PACL acl) {
  if (strncmp(name, kRoot, sizeof kRoot - 1) != 0) return ERROR_INVALID_PARAMETER;
  HKEY key = NULL;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, name + sizeof kRoot - 1, 0, WRITE_DAC, &key);
  if (error != ERROR_SUCCESS) return (DWORD)error;
  error = (LONG)SetSecurityInfo(key, SE_REGISTRY_KEY,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                NULL, NULL, acl, NULL);
  RegCloseKey(key);
  return (DWORD)error;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: vorn-protect.exe FILE\n", stderr);
    return 64;
  }
  FILE* list = fopen(argv[1], "r");
  if (list == NULL) {
    fprintf(stderr, "vorn-protect: cannot read %s\n", argv[1]);
    return 1;
  }
  PACL acl = NULL;
  DWORD error = read_only_acl(&acl);
  char line[1024];
  while (error == ERROR_SUCCESS && fgets(line, sizeof line, list) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    if (line[0] == '\0') continue;
    error = protect(line, acl);
    if (error != ERROR_SUCCESS) fprintf(stderr, "vorn-protect: %s: error %lu\n", line, error);
  }
  fclose(list);
  if (acl != NULL) LocalFree(acl);
  return error == ERROR_SUCCESS ? 0 : 1;
}
