/* vorn-dialogs.exe: answers modal dialogs headless. Every 50 ms it looks
 * for visible top-level windows of the dialog class (#32770) on every
 * desktop, records each once (caption, text, buttons, the button pressed)
 * and presses its default button. It runs until C:\vorntest\stop exists;
 * being a Windows program of the session, it also keeps the session's
 * services from being stopped while it runs. */
#include "desktops.h"
#include "record.h"

#define STOP_FILE "C:\\vorntest\\stop"
#define POLL_MS 50
/* A dialog still open this long after its press is pressed again. */
#define REPRESS_MS 1000
#define MAX_SEEN 256
#define MAX_BUTTONS 16

static struct {
  HWND window;
  DWORD pressed_at;
} seen[MAX_SEEN];

typedef struct {
  WCHAR text[4096];
  int buttons[MAX_BUTTONS];
  int button_count;
} Contents;

static BOOL CALLBACK collect_child(HWND child, LPARAM parameter) {
  Contents* contents = (Contents*)parameter;
  char class_name[32];
  if (!GetClassNameA(child, class_name, sizeof class_name)) return TRUE;
  if (lstrcmpiA(class_name, "Button") == 0 && contents->button_count < MAX_BUTTONS) {
    contents->buttons[contents->button_count++] = GetDlgCtrlID(child);
  } else if (lstrcmpiA(class_name, "Static") == 0 && contents->text[0] == 0 &&
             (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    GetWindowTextW(child, contents->text, 4096);
  }
  return TRUE;
}

static int default_button(HWND dialog) {
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutA(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) &&
      HIWORD(answer) == DC_HASDEFID)
    return LOWORD(answer);
  return IDOK;
}

static void press(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               (LPARAM)GetDlgItem(dialog, button));
}

static void answer(HWND dialog) {
  static Contents contents;
  WCHAR caption[1024];
  JsonLine line;
  char number[16];
  ZeroMemory(&contents, sizeof contents);
  GetWindowTextW(dialog, caption, 1024);
  /* A message box's text is the static control 0xFFFF; other dialogs
   * show theirs in their first text control. */
  if (!GetDlgItemTextW(dialog, 0xFFFF, contents.text, 4096)) contents.text[0] = 0;
  EnumChildWindows(dialog, collect_child, (LPARAM)&contents);
  int button = default_button(dialog);
  json_begin(&line, "messageBox");
  json_wide(&line, "caption", caption);
  json_wide(&line, "text", contents.text);
  json_int(&line, "button", button);
  json_key(&line, "buttons");
  json_raw(&line, "[");
  for (int i = 0; i < contents.button_count; ++i) {
    wsprintfA(number, i ? ",%d" : "%d", contents.buttons[i]);
    json_raw(&line, number);
  }
  json_raw(&line, "]");
  json_write(&line);
  press(dialog, button);
}

static BOOL CALLBACK consider(HWND window, LPARAM parameter) {
  (void)parameter;
  char class_name[16];
  if (!GetClassNameA(window, class_name, sizeof class_name) ||
      lstrcmpA(class_name, "#32770") != 0 || !IsWindowVisible(window))
    return TRUE;
  int free_slot = -1;
  for (int i = 0; i < MAX_SEEN; ++i) {
    if (seen[i].window == window) {
      if (GetTickCount() - seen[i].pressed_at >= REPRESS_MS) {
        press(window, default_button(window));
        seen[i].pressed_at = GetTickCount();
      }
      return TRUE;
    }
    if (!seen[i].window && free_slot < 0) free_slot = i;
  }
  answer(window);
  if (free_slot >= 0) {
    seen[free_slot].window = window;
    seen[free_slot].pressed_at = GetTickCount();
  }
  return TRUE;
}

static BOOL scan_desktop(void* context) {
  (void)context;
  EnumWindows(consider, 0);
  return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
  (void)instance; (void)previous; (void)arguments; (void)show;
  while (GetFileAttributesA(STOP_FILE) == INVALID_FILE_ATTRIBUTES) {
    /* A closed dialog's handle may come back for a new one. */
    for (int i = 0; i < MAX_SEEN; ++i)
      if (seen[i].window && !IsWindow(seen[i].window)) seen[i].window = NULL;
    for_each_desktop(scan_desktop, NULL);
    Sleep(POLL_MS);
  }
  return 0;
}
