/* EWFAPI.dll stand-in. Without the control key's subkey Ewf there is no
 * protected volume list; with it, one volume per subkey Ewf\0, Ewf\1, ...
 * (State, OpenFails, ConfigFails, CloseFails). Lists, entries and
 * configuration records are allocated as the real library's are
 * (LocalAlloc) and freed by its callers; every call is recorded. */
#include "record.h"

typedef struct Entry {
  struct Entry* Next;
  WCHAR Name[1];
} Entry;

/* The configuration record: type and state first, as the callers read
 * them, then room for the rest of the real record. */
typedef struct {
  DWORD Type;   /* EWF_RAM */
  DWORD State;  /* EWF_ENABLED 0, EWF_DISABLED 1 */
  BYTE Rest[512];
} Config;

/* Open volumes: an event handle of our own stands for the device handle,
 * so that a handle used after its close is seen. */
#define MAX_OPEN 64
static struct {
  HANDLE handle;
  int volume;
} open_volumes[MAX_OPEN];

/* NUMBER's decimal digits after PREFIX (kernel32 only: no C runtime
 * formatting in the libraries). */
static void numbered_a(char* out, const char* prefix, int number) {
  char digits[16];
  int at = sizeof digits - 1;
  digits[at] = 0;
  do digits[--at] = (char)('0' + number % 10); while ((number /= 10) > 0);
  lstrcpyA(out, prefix);
  lstrcatA(out, digits + at);
}

static void volume_key(int volume, char* key) { numbered_a(key, "Ewf\\", volume); }

static void volume_name(int volume, WCHAR* name) {
  char narrow[64];
  numbered_a(narrow, "\\Device\\HarddiskVolume", volume + 1);
  MultiByteToWideChar(CP_ACP, 0, narrow, -1, name, 64);
}

/* The volume whose name NAME is, or -1. */
static int volume_of_name(LPCWSTR name) {
  char key[32];
  WCHAR candidate[64];
  for (int volume = 0;; ++volume) {
    volume_key(volume, key);
    if (!control_has_key(key)) return -1;
    volume_name(volume, candidate);
    if (name && lstrcmpiW(name, candidate) == 0) return volume;
  }
}

/* The slot of an open HANDLE, or with NULL a free slot; -1 if none. */
static int slot_of_handle(HANDLE handle) {
  for (int slot = 0; slot < MAX_OPEN; ++slot)
    if (open_volumes[slot].handle == handle) return slot;
  return -1;
}

static void begin(JsonLine* line, const char* entry) {
  json_begin(line, "writeFilterCall");
  json_string(line, "entry", entry);
}

static void volume_field(JsonLine* line, int volume) {
  WCHAR name[64];
  if (volume < 0) {
    json_null(line, "volume");
    return;
  }
  volume_name(volume, name);
  json_wide(line, "volume", name);
}

static int list_length(const Entry* list) {
  int count = 0;
  for (; list; list = list->Next) ++count;
  return count;
}

static void free_list(Entry* list) {
  while (list) {
    Entry* next = list->Next;
    LocalFree(list);
    list = next;
  }
}

__declspec(dllexport) Entry* WINAPI EwfMgrGetProtectedVolumeList(void) {
  JsonLine line;
  Entry* head = NULL;
  Entry** tail = &head;
  char key[32];
  BOOL configured = control_has_key("Ewf");
  for (int volume = 0; configured; ++volume) {
    volume_key(volume, key);
    if (!control_has_key(key)) break;
    WCHAR name[64];
    volume_name(volume, name);
    Entry* entry = LocalAlloc(LPTR, sizeof(Entry) + sizeof(WCHAR) * lstrlenW(name));
    if (!entry) {
      free_list(head);
      head = NULL;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      break;
    }
    lstrcpyW(entry->Name, name);
    *tail = entry;
    tail = &entry->Next;
  }
  begin(&line, "EwfMgrGetProtectedVolumeList");
  json_bool(&line, "result", head != NULL);
  json_uint(&line, "volumes", (unsigned long)list_length(head));
  json_write(&line);
  return head;
}

__declspec(dllexport) BOOL WINAPI EwfMgrVolumeNameListIsEmpty(Entry* list) {
  JsonLine line;
  begin(&line, "EwfMgrVolumeNameListIsEmpty");
  json_bool(&line, "result", list == NULL);
  json_uint(&line, "volumes", (unsigned long)list_length(list));
  json_write(&line);
  return list == NULL;
}

__declspec(dllexport) HANDLE WINAPI EwfMgrOpenProtected(LPCWSTR volumeName) {
  JsonLine line;
  char key[32];
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  int volume = volume_of_name(volumeName);
  int slot = slot_of_handle(NULL);
  if (volume < 0) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (volume_key(volume, key), control_dword(key, "OpenFails", 0) != 0) {
    error = ERROR_ACCESS_DENIED;
  } else if (slot < 0) {
    error = ERROR_TOO_MANY_OPEN_FILES;
  } else {
    handle = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!handle) {
      error = GetLastError();
      handle = INVALID_HANDLE_VALUE;
    } else {
      open_volumes[slot].handle = handle;
      open_volumes[slot].volume = volume;
    }
  }
  begin(&line, "EwfMgrOpenProtected");
  if (volumeName) json_wide(&line, "volume", volumeName);
  else json_null(&line, "volume");
  json_bool(&line, "result", handle != INVALID_HANDLE_VALUE);
  if (error) json_uint(&line, "lastError", error);
  json_write(&line);
  if (error) SetLastError(error);
  return handle;
}

__declspec(dllexport) Config* WINAPI EwfMgrGetProtectedVolumeConfig(HANDLE device) {
  JsonLine line;
  char key[32];
  Config* config = NULL;
  DWORD error = 0;
  int slot = slot_of_handle(device);
  int volume = slot < 0 || !device ? -1 : open_volumes[slot].volume;
  if (volume < 0) {
    error = ERROR_INVALID_HANDLE;
  } else if (volume_key(volume, key), (error = control_dword(key, "ConfigFails", 0)) == 0) {
    config = LocalAlloc(LPTR, sizeof(Config));
    if (!config) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
      config->Type = 1;
      config->State = control_dword(key, "State", 0);
    }
  }
  begin(&line, "EwfMgrGetProtectedVolumeConfig");
  volume_field(&line, volume);
  json_bool(&line, "result", config != NULL);
  if (config) json_uint(&line, "state", config->State);
  if (error) json_uint(&line, "lastError", error);
  json_write(&line);
  if (error) SetLastError(error);
  return config;
}

__declspec(dllexport) BOOL WINAPI EwfMgrClose(HANDLE device) {
  JsonLine line;
  char key[32];
  DWORD error = 0;
  int slot = slot_of_handle(device);
  int volume = slot < 0 || !device ? -1 : open_volumes[slot].volume;
  if (volume < 0) {
    error = ERROR_INVALID_HANDLE;
  } else if (volume_key(volume, key), (error = control_dword(key, "CloseFails", 0)) == 0) {
    CloseHandle(open_volumes[slot].handle);
    open_volumes[slot].handle = NULL;
  }
  begin(&line, "EwfMgrClose");
  volume_field(&line, volume);
  json_bool(&line, "result", error == 0);
  if (error) json_uint(&line, "lastError", error);
  json_write(&line);
  if (error) SetLastError(error);
  return error == 0;
}

__declspec(dllexport) VOID WINAPI EwfMgrVolumeNameEntryPop(Entry** list) {
  JsonLine line;
  begin(&line, "EwfMgrVolumeNameEntryPop");
  if (list && *list) {
    Entry* head = *list;
    json_wide(&line, "volume", head->Name);
    *list = head->Next;
    LocalFree(head);
  } else {
    json_null(&line, "volume");
  }
  json_uint(&line, "remaining", (unsigned long)(list ? list_length(*list) : 0));
  json_write(&line);
}

__declspec(dllexport) VOID WINAPI EwfMgrVolumeNameListDelete(Entry* list) {
  JsonLine line;
  begin(&line, "EwfMgrVolumeNameListDelete");
  json_uint(&line, "volumes", (unsigned long)list_length(list));
  json_write(&line);
  free_list(list);
}
