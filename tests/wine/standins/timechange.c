/* vorn-timechange.exe [--broadcast]: tells VORN's time-change window that
 * the time changed, as Windows does: a sent WM_TIMECHANGE (never a posted
 * one), to the window of class "TimeChange" or, with --broadcast, to every
 * top-level window of the desktop it is on. Exit 0 when delivered, 1 when
 * no such window exists, 2 when the message was not processed in time, 64
 * for an unknown argument.
 * vorn-timechange.exe --post ID | --quit: posts message ID (or WM_QUIT) to
 * the queue of the thread that owns that window, as another program may
 * (PostThreadMessageA); not recorded. Exit 0 when posted, 1 without the
 * window, 2 when the post failed. */
#include <stdlib.h>

#include "desktops.h"
#include "record.h"

#define SEND_TIMEOUT_MS 5000

typedef struct {
  HWND window;
  BOOL broadcast;
  BOOL post;     /* post `message` to the window's thread instead */
  UINT message;
  LRESULT sent;
  DWORD_PTR reply;
  DWORD error;
} Delivery;

static BOOL deliver_here(void* context) {
  Delivery* delivery = (Delivery*)context;
  delivery->window = FindWindowA("TimeChange", NULL);
  if (!delivery->window) return TRUE;  /* on to the next desktop */
  if (delivery->post) {
    DWORD thread = GetWindowThreadProcessId(delivery->window, NULL);
    delivery->sent = thread != 0 && PostThreadMessageA(thread, delivery->message, 0, 0);
    return FALSE;
  }
  HWND target = delivery->broadcast ? HWND_BROADCAST : delivery->window;
  SetLastError(0);
  delivery->sent = SendMessageTimeoutA(target, WM_TIMECHANGE, 0, 0,
                                       SMTO_NORMAL | SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                                       &delivery->reply);
  if (!delivery->sent) delivery->error = GetLastError();
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
  (void)instance; (void)previous; (void)show;
  Delivery delivery;
  JsonLine line;
  ZeroMemory(&delivery, sizeof delivery);
  while (*arguments == ' ' || *arguments == '\t') ++arguments;
  int length = lstrlenA(arguments);
  while (length > 0 && (arguments[length - 1] == ' ' || arguments[length - 1] == '\t')) --length;
  arguments[length] = 0;
  delivery.broadcast = lstrcmpiA(arguments, "--broadcast") == 0;
  if (lstrcmpiA(arguments, "--quit") == 0) {
    delivery.post = TRUE;
    delivery.message = WM_QUIT;
  } else if (length > 7 && CompareStringA(LOCALE_INVARIANT, 0, arguments, 7, "--post ", 7) == CSTR_EQUAL) {
    char* end = NULL;
    delivery.post = TRUE;
    delivery.message = (UINT)strtoul(arguments + 7, &end, 10);
    if (*end != 0 || delivery.message == 0) return 64;
  }
  if (length && !delivery.broadcast && !delivery.post) return 64;  /* no record */
  for_each_desktop(deliver_here, &delivery);
  if (delivery.post) return !delivery.window ? 1 : delivery.sent ? 0 : 2;
  json_begin(&line, "timeChangeSent");
  json_bool(&line, "found", delivery.window != NULL);
  json_bool(&line, "broadcast", delivery.broadcast);
  if (delivery.window) {
    json_bool(&line, "result", delivery.sent != 0);
    if (!delivery.sent) json_uint(&line, "lastError", delivery.error);
  }
  json_write(&line);
  if (!delivery.window) return 1;
  return delivery.sent ? 0 : 2;
}
