/* vorn-timechange.exe [--broadcast]: tells VORN's time-change window that
 * the time changed, as Windows does: a sent WM_TIMECHANGE (never a posted
 * one), to the window of class "TimeChange" or, with --broadcast, to every
 * top-level window of the desktop it is on. Exit 0 when delivered, 1 when
 * no such window exists, 2 when the message was not processed in time, 64
 * for an unknown argument. */
#include "desktops.h"
#include "record.h"

#define SEND_TIMEOUT_MS 5000

typedef struct {
  HWND window;
  BOOL broadcast;
  LRESULT sent;
  DWORD_PTR reply;
  DWORD error;
} Delivery;

static BOOL deliver_here(void* context) {
  Delivery* delivery = (Delivery*)context;
  delivery->window = FindWindowA("TimeChange", NULL);
  if (!delivery->window) return TRUE;  /* on to the next desktop */
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
  if (length && !delivery.broadcast) return 64;  /* not a time change: no record */
  for_each_desktop(deliver_here, &delivery);
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
