/* Visiting every desktop of every window station this process can open:
 * a service's windows are on a window station of their own, which the
 * interactive one cannot see. */
#ifndef VORN_STANDINS_DESKTOPS_H
#define VORN_STANDINS_DESKTOPS_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/* Calls VISIT with the calling thread switched to each desktop in turn,
 * the thread's own desktop first; stops early when VISIT returns FALSE.
 * The calling thread must own no window (SetThreadDesktop). */
void for_each_desktop(BOOL (*visit)(void* context), void* context);

#endif
