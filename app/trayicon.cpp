#include <windows.h>
#include <shellapi.h>

#include "trayicon.h"
#include "../res/resource.h"

/* The first-version record ends with a 64-byte tip; later fields are unused. */
static const int TRAY_TIP_SIZE = 64;

/* Takes ownership of the icon: it is released once the shell has its own copy. */
BOOL TrayIconAdd(HWND hwnd, UINT id, HICON icon, LPCSTR tip)
{
    NOTIFYICONDATAA nid;
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = hwnd;
    nid.uID = id;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYNOTIFY;
    nid.hIcon = icon;
    if (tip != NULL)
        lstrcpynA(nid.szTip, tip, TRAY_TIP_SIZE);
    else
        nid.szTip[0] = '\0';

    BOOL added = Shell_NotifyIconA(NIM_ADD, &nid);
    if (icon != NULL)
        DestroyIcon(icon);
    return added;
}

/* With no flags the record names the icon by window and identifier alone: a stray
   NIF_GUID would make the shell look for a GUID instead, and miss. */
static BOOL TrayIconRequest(DWORD request, HWND hwnd, UINT id)
{
    NOTIFYICONDATAA nid;
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = hwnd;
    nid.uID = id;
    nid.uFlags = 0;
    return Shell_NotifyIconA(request, &nid);
}

BOOL TrayIconRemove(HWND hwnd, UINT id)
{
    return TrayIconRequest(NIM_DELETE, hwnd, id);
}

/* A change of nothing succeeds only for an icon the shell has. */
BOOL TrayIconPresent(HWND hwnd, UINT id)
{
    return TrayIconRequest(NIM_MODIFY, hwnd, id);
}
