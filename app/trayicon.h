/* The program's icon in the notification area. */
#ifndef PINNIT_TRAYICON_H
#define PINNIT_TRAYICON_H

#include <windows.h>

BOOL TrayIconAdd(HWND hwnd, UINT id, HICON icon, LPCSTR tip);
BOOL TrayIconRemove(HWND hwnd, UINT id);
BOOL TrayIconPresent(HWND hwnd, UINT id);

#endif
