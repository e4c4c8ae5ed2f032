// Many rounds of what a user does all day, in-process, where the heap can be walked.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "about/about.h"
#include "about/hyperlink.h"
#include "app/app.h"
#include "heapcount.h"
#include "importhook.h"
#include "res/resource.h"
#include "testwindow.h"
#include "windowlist/windowlist.h"

namespace {

// Wine's own bookkeeping may take a block or two on the heap now and then.
const int HEAP_SLACK = 4;

// What the process holds: all blocks on its heap, those pinnit's code took, and its
// handles. Wine's low-fragmentation heap (Wine 10) shows few small blocks to a walk;
// pinnit's own are counted one by one. Wine counts no handles, but gives a new one
// the lowest free slot, which handles kept open push up.
struct Held
{
    int busy, own;
    DWORD handles;
};

Held HeldNow()
{
    Held held = {BusyHeapBlocks(), OwnHeapBlocks(), 0};
    if (!GetProcessHandleCount(GetCurrentProcess(), &held.handles) || held.handles == 0)
    {
        HANDLE probe = CreateEventA(NULL, FALSE, FALSE, NULL);
        held.handles = DWORD(reinterpret_cast<UINT_PTR>(probe));
        CloseHandle(probe);
    }
    return held;
}

void ExpectHeldAsBefore(const Held &before, const Held &after)
{
    EXPECT_LE(after.busy - before.busy, HEAP_SLACK) << "blocks in use after the first round " << before.busy
                                                    << ", after the last " << after.busy;
    EXPECT_EQ(before.own, after.own) << "blocks pinnit's code took and kept";
    EXPECT_EQ(before.handles, after.handles) << "handles, or under Wine the lowest free handle";
}

BOOL WINAPI OpenNothing(SHELLEXECUTEINFOA *)
{
    return TRUE;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

int RowOf(HWND window)
{
    int count = int(SendMessageA(g_hWindowList, LB_GETCOUNT, 0, 0));
    for (int row = 0; row < count; row++)
        if (HWND(SendMessageA(g_hWindowList, LB_GETITEMDATA, row, 0)) == window)
            return row;
    return -1;
}

} // namespace

TEST(Soak, FiveHundredListRoundsLeaveTheHeapAsTheyFoundIt)
{
    static HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    if (g_hWindowListDlg == NULL)
        CreateWindowListDialog(owner);
    ASSERT_NE(nullptr, g_hWindowListDlg);
    TestWindow target("pinnit soak target");

    // Show from the icon, double-click the target's row, close with the caption button.
    auto round = [&] {
        ShowWindowList();
        SendMessageA(g_hWindowList, LB_SETCURSEL, RowOf(target.hwnd), 0);
        SendMessageA(g_hWindowListDlg, WM_COMMAND, MAKEWPARAM(IDC_WINDOWLIST, LBN_DBLCLK), LPARAM(g_hWindowList));
        SendMessageA(g_hWindowListDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        Drain();
    };
    ASSERT_GE(OwnHeapBlocks(), 0) << "the heap calls cannot be counted";
    round();
    Held before = HeldNow();
    for (int i = 1; i < 500; i++)
        round();

    ExpectHeldAsBefore(before, HeldNow());
    EXPECT_FALSE(IsWindowVisible(g_hWindowListDlg));
    EXPECT_GE(RowOf(target.hwnd), 0) << "still lists what it should";
}

TEST(Soak, HundredAboutRoundsReleaseEverythingTheyMake)
{
    // Open, paint the links, hover one and click it, close: the box is made modeless
    // here so the test can drive it, and destroyed as the modal loop would.
    ImportRedirect shell("ShellExecuteExA", reinterpret_cast<void *>(OpenNothing));
    ASSERT_NE(nullptr, shell.original);
    auto round = [] {
        HWND box = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), NULL, AboutDlgProc, 0);
        ShowWindow(box, SW_SHOWNOACTIVATE);
        UpdateWindow(box);
        HWND link = GetDlgItem(box, IDC_WEB_LINK);
        SendMessageA(link, WM_SETCURSOR, WPARAM(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(link, WM_LBUTTONUP, 0, 0);
        bool made = g_linkFont != NULL && g_linkCursor != NULL;
        SendMessageA(box, WM_CLOSE, 0, 0);
        bool released = g_linkFont == NULL && g_linkCursor == NULL;
        DestroyWindow(box);
        Drain();
        return made && released;
    };
    ASSERT_TRUE(round()) << "a round makes the link font and cursor and closing releases them";
    Held before = HeldNow();
    int good = 1;
    for (int i = 1; i < 100; i++)
        good += round();

    EXPECT_EQ(100, good) << "rounds that made and released the font and cursor";
    ExpectHeldAsBefore(before, HeldNow());
}
