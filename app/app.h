/* Start-up, the main window and the memory helpers every part of pinnit uses. */
#ifndef PINNIT_APP_H
#define PINNIT_APP_H

#include <windows.h>

/* The module instance: every load of pinnit's own resources uses it. */
extern HINSTANCE g_hInstance;

/* The exit code of a pinnit that could not start, or could not show its icon. */
#define EXIT_STARTUP_FAILED 1
/* The main window's timer that asks again for an icon the taskbar refused. */
#define ICON_RETRY_TIMER    1

void *MemAlloc(DWORD size);
void MemFree(void *block);

/* What a mouse message on the tray icon asks for. */
enum TrayAction
{
    TRAY_ACTION_NONE,
    TRAY_ACTION_SHOW_LIST,
    TRAY_ACTION_SHOW_MENU
};

/* What a WM_COMMAND from the tray menu asks for. */
enum MenuAction
{
    MENU_ACTION_NONE,
    MENU_ACTION_EXIT,
    MENU_ACTION_ABOUT
};

/* What follows an add of the tray icon that the shell refused. */
enum IconRetry
{
    ICON_WAIT_FOR_TASKBAR,
    ICON_RETRY_LATER,
    ICON_GIVE_UP
};

TrayAction TrayActionFor(LPARAM mouseMessage);
IconRetry IconRetryAfter(BOOL taskbarExists, int failedAdds);
UINT IconRetryWait(int failedAdds);
MenuAction MenuActionFor(WPARAM wParam);

ATOM RegisterMainWindowClass(void);
HWND CreateMainWindow(void);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
