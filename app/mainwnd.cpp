#include <windows.h>

#include "app.h"
#include "trayicon.h"
#include "../res/resource.h"
#include "../windowlist/windowlist.h"
#include "../about/about.h"

HINSTANCE g_hInstance;

/* Sent to every top-level window when the taskbar is (re)created; 0 until registered. */
static UINT g_taskbarCreatedMsg;
/* Adds the taskbar has refused in a row since the icon was last asked for afresh. */
static int g_failedIconAdds;

static const char MAIN_CLASS_NAME[] = "pinnit";

/* A taskbar at sign-in may refuse adds, or answer too late, for a minute or
   more; it is asked again after waits that grow, for about two minutes in all,
   then pinnit ends rather than run with no icon. */
static const int ICON_ADD_RETRIES = 8;
static const int ICON_DOUBLED_WAITS = 5;
static const UINT ICON_FIRST_WAIT_MS = 1000;
static const UINT ICON_LONGEST_WAIT_MS = 30000;

/* The message filters of Windows 7 and later (per window) and of Vista (per process). */
typedef BOOL(WINAPI *MessageFilterExFn)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
typedef BOOL(WINAPI *MessageFilterFn)(UINT, DWORD);

/* The shell sends the mouse message itself as lParam (first-version callbacks). */
TrayAction TrayActionFor(LPARAM mouseMessage)
{
    switch (mouseMessage)
    {
    case WM_LBUTTONUP:
        return TRAY_ACTION_SHOW_LIST;
    case WM_RBUTTONUP:
        return TRAY_ACTION_SHOW_MENU;
    default:
        return TRAY_ACTION_NONE;
    }
}

MenuAction MenuActionFor(WPARAM wParam)
{
    switch (LOWORD(wParam))
    {
    case IDM_EXIT:
        return MENU_ACTION_EXIT;
    case IDM_ABOUT:
        return MENU_ACTION_ABOUT;
    default:
        return MENU_ACTION_NONE;
    }
}

IconRetry IconRetryAfter(BOOL taskbarExists, int failedAdds)
{
    if (!taskbarExists)
        return ICON_WAIT_FOR_TASKBAR;
    return failedAdds <= ICON_ADD_RETRIES ? ICON_RETRY_LATER : ICON_GIVE_UP;
}

/* 1, 2, 4, 8 and 16 s, then 30 s each: 121 s from the first refusal to the last try. */
UINT IconRetryWait(int failedAdds)
{
    if (failedAdds > ICON_DOUBLED_WAITS)
        return ICON_LONGEST_WAIT_MS;
    return ICON_FIRST_WAIT_MS << (failedAdds - 1);
}

/* An add that timed out may still have landed, so a failed one asks the shell.
   Any add stands in for a retry that was due (after "TaskbarCreated", say). */
static void AddTrayIcon(HWND hwnd)
{
    KillTimer(hwnd, ICON_RETRY_TIMER);
    HICON icon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_APP));
    if (TrayIconAdd(hwnd, TRAY_ICON_UID, icon, "pinnit") || TrayIconPresent(hwnd, TRAY_ICON_UID))
    {
        g_failedIconAdds = 0;
        return;
    }

    g_failedIconAdds++;
    switch (IconRetryAfter(FindWindowA("Shell_TrayWnd", NULL) != NULL, g_failedIconAdds))
    {
    case ICON_WAIT_FOR_TASKBAR:
        g_failedIconAdds = 0;
        break;
    case ICON_RETRY_LATER:
        SetTimer(hwnd, ICON_RETRY_TIMER, IconRetryWait(g_failedIconAdds), NULL);
        break;
    case ICON_GIVE_UP:
        DestroyWindow(hwnd);
        break;
    }
}

/* An elevated pinnit would never hear "TaskbarCreated" from the unelevated shell,
   whose registered messages the system filters out, and would stay without an
   icon once the shell restarts. The filters are looked up, not imported, so that
   pinnit still starts on Windows that have neither. */
static void AllowTaskbarCreated(HWND hwnd)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    MessageFilterExFn filterEx =
        (MessageFilterExFn)(void (*)(void))GetProcAddress(user32, "ChangeWindowMessageFilterEx");
    MessageFilterFn filter =
        (MessageFilterFn)(void (*)(void))GetProcAddress(user32, "ChangeWindowMessageFilter");
    if (filterEx != NULL)
        filterEx(hwnd, g_taskbarCreatedMsg, MSGFLT_ALLOW, NULL);
    else if (filter != NULL)
        filter(g_taskbarCreatedMsg, MSGFLT_ADD);
}

/* The menu is loaded for each right click and destroyed once a choice is made. */
static void ShowTrayMenu(HWND hwnd)
{
    POINT pt;
    GetCursorPos(&pt);
    HMENU menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);

    /* Without the foreground the menu would not close when the user clicks elsewhere,
       and without the posted message a second right click would not open it again. */
    SetForegroundWindow(hwnd);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, NULL);
    PostMessageA(hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_taskbarCreatedMsg != 0 && message == g_taskbarCreatedMsg)
    {
        g_failedIconAdds = 0;
        AddTrayIcon(hwnd);
        return 0;
    }

    switch (message)
    {
    case WM_CREATE:
        g_taskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
        if (g_taskbarCreatedMsg != 0)
            AllowTaskbarCreated(hwnd);
        AddTrayIcon(hwnd);
        CreateWindowListDialog(hwnd);
        return 1;

    case WM_DESTROY:
        KillTimer(hwnd, ICON_RETRY_TIMER);
        TrayIconRemove(hwnd, TRAY_ICON_UID);
        /* Ending because the taskbar never took the icon is a failed start. */
        PostQuitMessage(IconRetryAfter(TRUE, g_failedIconAdds) == ICON_GIVE_UP ? EXIT_STARTUP_FAILED
                                                                               : 0);
        return 1;

    case WM_TIMER:
        if (wParam == ICON_RETRY_TIMER)
            AddTrayIcon(hwnd);
        return 0;

    /* Windows ends the process after this without a WM_DESTROY: take the icon along. */
    case WM_ENDSESSION:
        if (wParam)
            DestroyWindow(hwnd);
        return 0;

    case WM_COMMAND:
        switch (MenuActionFor(wParam))
        {
        case MENU_ACTION_EXIT:
            DestroyWindow(hwnd);
            break;
        case MENU_ACTION_ABOUT:
            RunAboutBox(hwnd);
            break;
        case MENU_ACTION_NONE:
            break;
        }
        return 1;

    case WM_TRAYNOTIFY:
        switch (TrayActionFor(lParam))
        {
        case TRAY_ACTION_SHOW_LIST:
            ShowWindowList();
            break;
        case TRAY_ACTION_SHOW_MENU:
            ShowTrayMenu(hwnd);
            break;
        case TRAY_ACTION_NONE:
            break;
        }
        return 1;

    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

ATOM RegisterMainWindowClass(void)
{
    WNDCLASSEXA wc;
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = g_hInstance;
    wc.hIcon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = MAIN_CLASS_NAME;
    wc.hIconSm = (HICON)LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                   LR_DEFAULTCOLOR);
    return RegisterClassExA(&wc);
}

/* The main window is never shown: it owns the tray icon and the window list. */
HWND CreateMainWindow(void)
{
    return CreateWindowExA(0, MAIN_CLASS_NAME, "pinnit", WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                           0, NULL, NULL, g_hInstance, NULL);
}
