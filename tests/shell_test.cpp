// The main window's dispatch rules and the start-up failure paths.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

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

namespace {

// Runs WinMain as pinnit.exe would, restoring what it changes in this process.
int RunWinMain()
{
    DWORD priority = GetPriorityClass(GetCurrentProcess());
    int code = WinMain(GetModuleHandleA(NULL), NULL, const_cast<char *>(""), SW_SHOWNORMAL);
    SetPriorityClass(GetCurrentProcess(), priority);
    return code;
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

    int code = RunWinMain();
    UnregisterClassA("pinnit", GetModuleHandleA(NULL));
    EXPECT_NE(0, code);
}

TEST(Startup, FailsAtOnceWhenTheMainWindowCannotBeCreated)
{
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindowCreation, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);

    int code = RunWinMain();
    UnhookWindowsHookEx(hook);
    UnregisterClassA("pinnit", GetModuleHandleA(NULL));
    EXPECT_NE(0, code);
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
