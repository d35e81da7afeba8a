#include "record.h"

#define RECORD_DIR "C:\\vorntest"
#define RECORD_FILE RECORD_DIR "\\calls.jsonl"
/* Room kept for the closing of the line whatever was cut. */
#define RESERVE 8

DWORD control_dword(const char* subkey, const char* name, DWORD fallback) {
  char path[256];
  HKEY key;
  DWORD type = 0, value = 0, size = sizeof value;
  lstrcpynA(path, VORN_TEST_KEY, sizeof path);
  if (subkey) {
    lstrcatA(path, "\\");
    lstrcatA(path, subkey);
  }
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return fallback;
  LONG status = RegQueryValueExA(key, name, NULL, &type, (BYTE*)&value, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return fallback;
  return value;
}

BOOL control_has_key(const char* subkey) {
  char path[256];
  HKEY key;
  lstrcpynA(path, VORN_TEST_KEY "\\", sizeof path);
  lstrcatA(path, subkey);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return FALSE;
  RegCloseKey(key);
  return TRUE;
}

static void put(JsonLine* line, const char* text, size_t length) {
  if (line->length + length + RESERVE > sizeof line->text) return;
  CopyMemory(line->text + line->length, text, length);
  line->length += length;
}

void json_raw(JsonLine* line, const char* text) { put(line, text, lstrlenA(text)); }

void json_key(JsonLine* line, const char* key) {
  if (!line->first) put(line, ",", 1);
  line->first = FALSE;
  put(line, "\"", 1);
  json_raw(line, key);
  put(line, "\":", 2);
}

void json_begin(JsonLine* line, const char* kind) {
  line->length = 0;
  line->first = TRUE;
  put(line, "{", 1);
  json_string(line, "kind", kind);
}

/* UTF-8 bytes as a JSON string body: quotes, backslashes and control
 * characters escaped; a cut never splits a UTF-8 sequence. */
static void put_escaped(JsonLine* line, const char* utf8, int length) {
  static const char hex[] = "0123456789abcdef";
  put(line, "\"", 1);
  for (int i = 0; i < length; ++i) {
    unsigned char c = (unsigned char)utf8[i];
    char escape[7] = {'\\', 0, 0, 0, 0, 0, 0};
    size_t size = 2;
    if (c == '"' || c == '\\') escape[1] = (char)c;
    else if (c == '\n') escape[1] = 'n';
    else if (c == '\r') escape[1] = 'r';
    else if (c == '\t') escape[1] = 't';
    else if (c < 0x20) {
      escape[1] = 'u'; escape[2] = '0'; escape[3] = '0';
      escape[4] = hex[c >> 4]; escape[5] = hex[c & 15];
      size = 6;
    } else {
      int sequence = 1;
      if (c >= 0xf0) sequence = 4;
      else if (c >= 0xe0) sequence = 3;
      else if (c >= 0xc0) sequence = 2;
      if (i + sequence > length) break;
      if (line->length + sequence + 1 + RESERVE > sizeof line->text) break;
      put(line, utf8 + i, sequence);
      i += sequence - 1;
      continue;
    }
    if (line->length + size + 1 + RESERVE > sizeof line->text) break;
    put(line, escape, size);
  }
  put(line, "\"", 1);
}

/* At most this many UTF-16 units of one string are kept. */
#define MAX_UNITS 4000

void json_wide(JsonLine* line, const char* key, const WCHAR* text) {
  char utf8[MAX_UNITS * 3 + 1];  /* on the stack: callers may be on any thread */
  int units = text ? lstrlenW(text) : 0;
  if (units > MAX_UNITS) units = MAX_UNITS;
  int length = units ? WideCharToMultiByte(CP_UTF8, 0, text, units, utf8, sizeof utf8, NULL, NULL) : 0;
  json_key(line, key);
  put_escaped(line, utf8, length > 0 ? length : 0);
}

void json_string(JsonLine* line, const char* key, const char* ansi) {
  WCHAR wide[MAX_UNITS + 1];
  int bytes = ansi ? lstrlenA(ansi) : 0;
  if (bytes > MAX_UNITS) bytes = MAX_UNITS;
  int length = bytes ? MultiByteToWideChar(CP_ACP, 0, ansi, bytes, wide, MAX_UNITS) : 0;
  wide[length > 0 ? length : 0] = 0;
  json_wide(line, key, wide);
}

void json_null(JsonLine* line, const char* key) {
  json_key(line, key);
  json_raw(line, "null");
}

void json_uint(JsonLine* line, const char* key, unsigned long value) {
  char digits[24];
  int at = sizeof digits - 1;
  digits[at] = 0;
  do {
    digits[--at] = (char)('0' + value % 10);
    value /= 10;
  } while (value);
  json_key(line, key);
  json_raw(line, digits + at);
}

void json_int(JsonLine* line, const char* key, long value) {
  if (value >= 0) {
    json_uint(line, key, (unsigned long)value);
    return;
  }
  char digits[24];
  int at = sizeof digits - 1;
  unsigned long magnitude = 0UL - (unsigned long)value;
  digits[at] = 0;
  do {
    digits[--at] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  digits[--at] = '-';
  json_key(line, key);
  json_raw(line, digits + at);
}

void json_bool(JsonLine* line, const char* key, BOOL value) {
  json_key(line, key);
  json_raw(line, value ? "true" : "false");
}

void json_write(JsonLine* line) {
  DWORD lastError = GetLastError();
  line->text[line->length++] = '}';
  line->text[line->length++] = '\n';
  CreateDirectoryA(RECORD_DIR, NULL);
  /* Wine's append-only writes are not atomic between processes (measured:
   * lines lost and mixed), so the writers of all sessions take turns. An
   * abandoned lock is taken over; a lock not had in 10 s is written
   * without rather than losing the line. */
  HANDLE lock = CreateMutexA(NULL, FALSE, "Global\\VornTestCallsRecord");
  DWORD waited = lock ? WaitForSingleObject(lock, 10000) : WAIT_FAILED;
  HANDLE file = CreateFileA(RECORD_FILE, FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, line->text, (DWORD)line->length, &written, NULL);
    CloseHandle(file);
  }
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(lock);
  if (lock) CloseHandle(lock);
  SetLastError(lastError);
}
