// The main window's dispatch rules and the start-up failure paths.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <utility>
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

// What pinnit asks of a stand-in for the shell and its taskbar. A refusing shell
// fails every request; a late one takes the add but answers it as failed, as a
// busy shell does once the caller has stopped waiting. The retries' timers run at
// once instead of after their waits.
struct ShellRequest { DWORD request; HWND hwnd; UINT id; UINT flags; };
struct FilterRequest { HWND hwnd; UINT message; DWORD action; };
struct StandInShell
{
    bool addsLate, offersFilterEx, hasIcon;
    std::vector<ShellRequest> requests;
    std::vector<FilterRequest> filters;
    std::vector<std::string> tips;
    std::vector<HICON> added, released;
    std::vector<UINT> waits;
    void *findWindow, *setTimer, *destroyIcon, *getProcAddress;
} shell;

std::string Describe(const ShellRequest &r)
{
    char text[96];
    std::snprintf(text, sizeof text, "request %lu, window %p, icon %u, flags 0x%x", r.request, (void *)r.hwnd, r.id, r.flags);
    return text;
}

std::string Describe(const FilterRequest &r)
{
    char text[96];
    std::snprintf(text, sizeof text, "window %p, message 0x%x, action %lu", (void *)r.hwnd, r.message, r.action);
    return text;
}

size_t Asked(DWORD request)
{
    size_t count = 0;
    for (const ShellRequest &r : shell.requests)
        count += r.request == request;
    return count;
}

HWND WINAPI FindStandInTaskbar(LPCSTR className, LPCSTR title)
{
    if (className != NULL && lstrcmpA(className, "Shell_TrayWnd") == 0)
        return GetDesktopWindow();
    return reinterpret_cast<decltype(&FindWindowA)>(shell.findWindow)(className, title);
}

BOOL WINAPI StandInNotifyIcon(DWORD request, NOTIFYICONDATAA *nid)
{
    shell.requests.push_back({request, nid->hWnd, nid->uID, nid->uFlags});
    if (request == NIM_ADD)
    {
        shell.tips.push_back(std::string(nid->szTip, strnlen(nid->szTip, 64)));
        shell.added.push_back(nid->hIcon);
        shell.hasIcon = shell.addsLate;
        return FALSE;
    }
    bool had = shell.hasIcon;
    shell.hasIcon = had && request != NIM_DELETE;
    return had;
}

UINT_PTR WINAPI RecordRetryTimer(HWND hwnd, UINT_PTR id, UINT waitMs, TIMERPROC proc)
{
    if (hwnd != NULL && id == ICON_RETRY_TIMER)
        shell.waits.push_back(waitMs), waitMs = 0;
    return reinterpret_cast<decltype(&SetTimer)>(shell.setTimer)(hwnd, id, waitMs, proc);
}

BOOL WINAPI RecordDestroyIcon(HICON icon)
{
    shell.released.push_back(icon);
    return reinterpret_cast<decltype(&DestroyIcon)>(shell.destroyIcon)(icon);
}

BOOL WINAPI RecordFilterEx(HWND hwnd, UINT message, DWORD action, PCHANGEFILTERSTRUCT)
{
    shell.filters.push_back({hwnd, message, action});
    return TRUE;
}

BOOL WINAPI RecordFilter(UINT message, DWORD action)
{
    shell.filters.push_back({NULL, message, action});
    return TRUE;
}

// Offers the message filters of Windows 7 and later, or of Vista alone.
FARPROC WINAPI OfferFilters(HMODULE module, LPCSTR name)
{
    bool byName = HIWORD(name) != 0;
    if (byName && lstrcmpA(name, "ChangeWindowMessageFilterEx") == 0)
        return shell.offersFilterEx ? reinterpret_cast<FARPROC>(reinterpret_cast<void *>(RecordFilterEx)) : NULL;
    if (byName && lstrcmpA(name, "ChangeWindowMessageFilter") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(RecordFilter));
    return reinterpret_cast<decltype(&GetProcAddress)>(shell.getProcAddress)(module, name);
}

// WinMain's exit code, or -1 when an import could not be redirected.
int RunWinMainOnStandInShell(bool addsLate, bool offersFilterEx)
{
    shell = StandInShell{};
    shell.addsLate = addsLate, shell.offersFilterEx = offersFilterEx;
    ImportRedirect notify("Shell_NotifyIconA", reinterpret_cast<void *>(StandInNotifyIcon)),
        find("FindWindowA", reinterpret_cast<void *>(FindStandInTaskbar)),
        timer("SetTimer", reinterpret_cast<void *>(RecordRetryTimer)),
        destroy("DestroyIcon", reinterpret_cast<void *>(RecordDestroyIcon)),
        lookup("GetProcAddress", reinterpret_cast<void *>(OfferFilters));
    shell.findWindow = find.original, shell.setTimer = timer.original, shell.destroyIcon = destroy.original,
    shell.getProcAddress = lookup.original;
    if (!notify.original || !find.original || !timer.original || !destroy.original || !lookup.original)
        return -1;
    return RunWinMain();
}

// Takes the test's way out inside pinnit's loop, noting the removals made by then.
void (*wayOut)(HWND);
size_t removedOnReturn;

void CALLBACK TakeTheWayOut(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    wayOut(shell.requests.empty() ? NULL : shell.requests.front().hwnd);
    removedOnReturn = Asked(NIM_DELETE);
}

// Ends a pinnit that a way out did not end.
void CALLBACK EndAStuckPinnit(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 99, 0);
}

HMENU trackedMenu;
// What the menu's owner was asked for, in order.
std::vector<std::pair<std::string, HWND>> menuCalls;

BOOL WINAPI RecordSetForegroundWindow(HWND hwnd)
{
    menuCalls.push_back({"SetForegroundWindow", hwnd});
    return TRUE;
}

BOOL WINAPI RecordTrackPopupMenu(HMENU menu, UINT, int, int, int, HWND owner, const RECT *)
{
    trackedMenu = menu;
    menuCalls.push_back({"TrackPopupMenu", owner});
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
    EXPECT_EQ(1, RunWinMainOnStandInShell(false, true));
    EXPECT_EQ((std::vector<UINT>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}), shell.waits);
    EXPECT_EQ(std::vector<std::string>(9, "pinnit"), shell.tips) << "the tip of every add";
    EXPECT_EQ(shell.added, shell.released) << "each add's icon released after it";
}

// Windows' shell keeps the icon of a window that is gone until the pointer passes
// over it, and Windows may end pinnit as soon as WM_ENDSESSION returns: every way
// out must remove the icon itself, and the session's end before it returns. The
// shell here took the add but answered it late, so pinnit must keep that icon and
// ask for nothing more; an elevated pinnit must let "TaskbarCreated" through.
TEST(Startup, EveryWayOutRemovesTheIconOnceAndAnAddAnsweredLateIsNotAskedForAgain)
{
    struct Way { const char *name; bool filterEx; int code; size_t removedOnReturn; void (*take)(HWND); } const ways[] = {
        {"Exit from the menu", true, 0, 1, [](HWND main) { SendMessageA(main, WM_COMMAND, IDM_EXIT, 0); }},
        {"WM_CLOSE", true, 0, 1, [](HWND main) { SendMessageA(main, WM_CLOSE, 0, 0); }},
        {"a quit another program posts", false, 7, 0,
         [](HWND) { PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0); }},
        {"the session ending", false, 0, 1, [](HWND main) { SendMessageA(main, WM_ENDSESSION, TRUE, 0); }},
    };
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    for (const Way &way : ways)
    {
        SCOPED_TRACE(way.name);
        wayOut = way.take;
        SetTimer(NULL, 0, 0, TakeTheWayOut);
        UINT_PTR guard = SetTimer(NULL, 0, 5000, EndAStuckPinnit);
        int code = RunWinMainOnStandInShell(true, way.filterEx);
        KillTimer(NULL, guard);
        MSG quit;
        while (PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
            ;

        EXPECT_EQ(way.code, code);
        ASSERT_FALSE(shell.requests.empty()) << "nothing asked of the shell";
        HWND main = shell.requests.front().hwnd;
        EXPECT_FALSE(IsWindow(main)) << "main window left behind";
        EXPECT_EQ(1u, Asked(NIM_ADD)) << "an icon the shell has asked for again";
        EXPECT_EQ(std::vector<UINT>{}, shell.waits) << "a retry of an icon the shell has";
        EXPECT_EQ(way.removedOnReturn, removedOnReturn) << "removals when the way out returned";
        EXPECT_EQ(1u, Asked(NIM_DELETE));
        EXPECT_EQ(Describe({NIM_DELETE, main, TRAY_ICON_UID, 0}), Describe(shell.requests.back()))
            << "the last request removes the icon by window and number alone";
        FilterRequest allowed = way.filterEx ? FilterRequest{main, taskbarCreated, MSGFLT_ALLOW}
                                             : FilterRequest{NULL, taskbarCreated, MSGFLT_ADD};
        ASSERT_EQ(1u, shell.filters.size()) << "message filter requests";
        EXPECT_EQ(Describe(allowed), Describe(shell.filters.front()));
    }
}

TEST(TrayMenu, ClosingPostsTheMessageThatLetsTheNextRightClickOpenItAgain)
{
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    {
        ImportRedirect track("TrackPopupMenu", reinterpret_cast<void *>(RecordTrackPopupMenu)),
            foreground("SetForegroundWindow", reinterpret_cast<void *>(RecordSetForegroundWindow));
        ASSERT_TRUE(track.original && foreground.original);
        MainWndProc(owner, WM_TRAYNOTIFY, TRAY_ICON_UID, WM_RBUTTONUP);
    }

    // On Windows a menu whose owner is not in the foreground stays open when the user clicks elsewhere.
    EXPECT_EQ((std::vector<std::pair<std::string, HWND>>{{"SetForegroundWindow", owner}, {"TrackPopupMenu", owner}}),
              menuCalls);
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
