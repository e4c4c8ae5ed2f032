// The main window's dispatch rules and the start-up failure paths.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "importhook.h"
#include "app/app.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int);

TEST(Dispatch, TrayCallbackActsOnlyOnButtonReleases)
{
    struct Case { LPARAM message; TrayAction action; } const cases[] = {
        {WM_LBUTTONUP, TRAY_ACTION_SHOW_LIST},
        {WM_RBUTTONUP, TRAY_ACTION_SHOW_MENU},
        {WM_LBUTTONDOWN, TRAY_ACTION_NONE},
        {WM_RBUTTONDOWN, TRAY_ACTION_NONE},
        {WM_LBUTTONDBLCLK, TRAY_ACTION_NONE},
        {WM_MOUSEMOVE, TRAY_ACTION_NONE},
        {WM_CONTEXTMENU, TRAY_ACTION_NONE},
        // lParam is compared whole: a release with anything in the high word is not one.
        {MAKELPARAM(WM_LBUTTONUP, TRAY_ICON_UID), TRAY_ACTION_NONE},
        {MAKELPARAM(WM_RBUTTONUP, 1), TRAY_ACTION_NONE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.action, TrayActionFor(c.message)) << "lParam 0x" << std::hex << c.message;
}

TEST(Dispatch, MenuCommandsAreReadFromTheLowWord)
{
    struct Case { WPARAM wParam; MenuAction action; } const cases[] = {
        {IDM_EXIT, MENU_ACTION_EXIT},
        {IDM_ABOUT, MENU_ACTION_ABOUT},
        {MAKEWPARAM(IDM_EXIT, 1), MENU_ACTION_EXIT},
        {MAKEWPARAM(IDM_ABOUT, 1), MENU_ACTION_ABOUT},
        {IDOK, MENU_ACTION_NONE},
        {IDC_WINDOWLIST, MENU_ACTION_NONE},
        {0, MENU_ACTION_NONE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.action, MenuActionFor(c.wParam)) << "wParam 0x" << std::hex << c.wParam;
}

TEST(Dispatch, ARefusedIconIsAskedForAgainForTwoMinutesWhileThereIsATaskbar)
{
    struct Case { BOOL taskbar; int failedAdds; IconRetry retry; UINT waitMs; } const cases[] = {
        {FALSE, 1, ICON_WAIT_FOR_TASKBAR, 0}, {FALSE, 8, ICON_WAIT_FOR_TASKBAR, 0},
        {TRUE, 1, ICON_RETRY_LATER, 1000}, {TRUE, 2, ICON_RETRY_LATER, 2000},
        {TRUE, 5, ICON_RETRY_LATER, 16000}, {TRUE, 6, ICON_RETRY_LATER, 30000},
        {TRUE, 8, ICON_RETRY_LATER, 30000}, {TRUE, 9, ICON_GIVE_UP, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::to_string(c.failedAdds) + " refused adds" + (c.taskbar ? "" : ", no taskbar"));
        EXPECT_EQ(c.retry, IconRetryAfter(c.taskbar, c.failedAdds));
        if (c.retry == ICON_RETRY_LATER)
        {
            EXPECT_EQ(c.waitMs, IconRetryWait(c.failedAdds));
        }
    }
}

namespace {

// Runs WinMain as pinnit.exe would, restoring what it changes in this process.
int RunWinMain()
{
    DWORD priority = GetPriorityClass(GetCurrentProcess());
    int code = WinMain(GetModuleHandleA(NULL), NULL, const_cast<char *>(""), SW_SHOWNORMAL);
    SetPriorityClass(GetCurrentProcess(), priority);
    UnregisterClassA("pinnit", GetModuleHandleA(NULL));
    return code;
}

// What pinnit asks of a stand-in taskbar that refuses every request, and of the
// retries' timers, which run at once instead of after their waits.
struct
{
    std::vector<std::string> tips;
    std::vector<HICON> added, released;
    std::vector<UINT> waits;
    void *findWindow, *setTimer, *destroyIcon;
} refused;

HWND WINAPI FindStandInTaskbar(LPCSTR className, LPCSTR title)
{
    if (className != NULL && lstrcmpA(className, "Shell_TrayWnd") == 0)
        return GetDesktopWindow();
    return reinterpret_cast<decltype(&FindWindowA)>(refused.findWindow)(className, title);
}

BOOL WINAPI RefuseNotifyIcon(DWORD request, NOTIFYICONDATAA *nid)
{
    if (request == NIM_ADD)
    {
        refused.tips.push_back(std::string(nid->szTip, strnlen(nid->szTip, 64)));
        refused.added.push_back(nid->hIcon);
    }
    return FALSE;
}

UINT_PTR WINAPI RecordRetryTimer(HWND hwnd, UINT_PTR id, UINT waitMs, TIMERPROC proc)
{
    if (hwnd != NULL && id == ICON_RETRY_TIMER)
        refused.waits.push_back(waitMs), waitMs = 0;
    return reinterpret_cast<decltype(&SetTimer)>(refused.setTimer)(hwnd, id, waitMs, proc);
}

BOOL WINAPI RecordDestroyIcon(HICON icon)
{
    refused.released.push_back(icon);
    return reinterpret_cast<decltype(&DestroyIcon)>(refused.destroyIcon)(icon);
}

HMENU trackedMenu;
HWND trackedOwner;

BOOL WINAPI RecordTrackPopupMenu(HMENU menu, UINT, int, int, int, HWND owner, const RECT *)
{
    trackedMenu = menu;
    trackedOwner = owner;
    return FALSE;
}

bool IconInTray(HWND window)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = window;
    nid.uID = TRAY_ICON_UID;
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

HWND startedWindow;
bool iconWhenQuitPosted;

// Runs inside pinnit's loop and posts a quit there, as another program can.
void CALLBACK PostForeignQuit(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    startedWindow = FindWindowA("pinnit", "pinnit");
    iconWhenQuitPosted = IconInTray(startedWindow);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
}

LRESULT CALLBACK RefuseWindowCreation(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(NULL, code, wParam, lParam);
}

} // namespace

TEST(Startup, FailsAtOnceWhenTheClassCannotBeRegistered)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "pinnit";
    ASSERT_NE(0, RegisterClassExA(&wc));

    EXPECT_NE(0, RunWinMain());
}

TEST(Startup, FailsAtOnceWhenTheMainWindowCannotBeCreated)
{
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindowCreation, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);

    int code = RunWinMain();
    UnhookWindowsHookEx(hook);
    EXPECT_NE(0, code);
}

TEST(Startup, ARefusedIconIsAskedForWithItsTipUntilPinnitGivesUpAndEachHandleIsReleased)
{
    int code = 0;
    {
        ImportRedirect notify("Shell_NotifyIconA", reinterpret_cast<void *>(RefuseNotifyIcon)),
            find("FindWindowA", reinterpret_cast<void *>(FindStandInTaskbar)),
            timer("SetTimer", reinterpret_cast<void *>(RecordRetryTimer)),
            destroy("DestroyIcon", reinterpret_cast<void *>(RecordDestroyIcon));
        refused.findWindow = find.original, refused.setTimer = timer.original, refused.destroyIcon = destroy.original;
        ASSERT_TRUE(notify.original && find.original && timer.original && destroy.original);
        code = RunWinMain();
    }

    EXPECT_EQ(1, code);
    EXPECT_EQ((std::vector<UINT>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}), refused.waits);
    EXPECT_EQ(std::vector<std::string>(9, "pinnit"), refused.tips) << "the tip of every add";
    EXPECT_EQ(refused.added, refused.released) << "each add's icon released after it";
}

TEST(TrayMenu, ClosingPostsTheMessageThatLetsTheNextRightClickOpenItAgain)
{
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    {
        ImportRedirect track("TrackPopupMenu", reinterpret_cast<void *>(RecordTrackPopupMenu));
        ASSERT_NE(nullptr, track.original);
        MainWndProc(owner, WM_TRAYNOTIFY, TRAY_ICON_UID, WM_RBUTTONUP);
    }

    EXPECT_EQ(owner, trackedOwner);
    EXPECT_FALSE(IsMenu(trackedMenu)) << "the menu is loaded afresh for every right click";
    MSG msg;
    bool posted = false;
    while (PeekMessageA(&msg, owner, 0, 0, PM_REMOVE))
        posted = posted || msg.message == WM_NULL;
    EXPECT_TRUE(posted) << "no WM_NULL posted to the menu's owner after the menu closed";
    DestroyWindow(owner);
}

TEST(Startup, AQuitPinnitDidNotPostEndsItWithTheIconRemoved)
{
    SetTimer(NULL, 0, 0, PostForeignQuit);
    int code = RunWinMain();
    MSG own; // the quit that destroying the window posts
    PeekMessageA(&own, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
    ASSERT_TRUE(iconWhenQuitPosted) << "no icon while pinnit ran";
    EXPECT_EQ(7, code) << "the exit code is the quit message's";
    EXPECT_FALSE(IsWindow(startedWindow)) << "main window left behind";
    EXPECT_FALSE(IconInTray(startedWindow)) << "icon left in the tray";
}
