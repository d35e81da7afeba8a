/* What every stand-in shares: the control key it takes its answers from and
 * the record file it appends its calls to (one JSON object a line). */
#ifndef VORN_STANDINS_RECORD_H
#define VORN_STANDINS_RECORD_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#define VORN_TEST_KEY "SOFTWARE\\VornTest"

/* A DWORD of the control key (or of SUBKEY below it, NULL for the key
 * itself); FALLBACK when the key or value is absent or not a DWORD. */
DWORD control_dword(const char* subkey, const char* name, DWORD fallback);
/* Whether SUBKEY exists below the control key. */
BOOL control_has_key(const char* subkey);

/* One JSON line, built in place and appended at once. Strings given as
 * ANSI (the process code page) or wide text are written as UTF-8, escaped.
 * Over-long text is cut; the line stays well-formed. */
typedef struct {
  char text[16384];
  size_t length;
  BOOL first;
} JsonLine;

void json_begin(JsonLine* line, const char* kind);
void json_string(JsonLine* line, const char* key, const char* ansi);
void json_wide(JsonLine* line, const char* key, const WCHAR* text);
void json_null(JsonLine* line, const char* key);
void json_uint(JsonLine* line, const char* key, unsigned long value);
void json_int(JsonLine* line, const char* key, long value);
void json_bool(JsonLine* line, const char* key, BOOL value);
/* A key whose value the caller writes with json_raw (arrays). */
void json_key(JsonLine* line, const char* key);
void json_raw(JsonLine* line, const char* text);
/* Closes the object and appends it to C:\vorntest\calls.jsonl (folder
 * made when missing), one writer at a time. Keeps the caller's last-error
 * code. */
void json_write(JsonLine* line);

#endif
