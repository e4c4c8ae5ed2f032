// The window list on a real dialog made from pinnit's own template.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testwindow.h"
#include "windowlist/windowlist.h"

namespace {

HWND Dialog()
{
    static HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    if (g_hWindowListDlg == NULL)
        CreateWindowListDialog(owner);
    return g_hWindowListDlg;
}

struct Row
{
    std::string text;
    HWND window;
};

std::vector<Row> Rows()
{
    std::vector<Row> rows;
    HWND list = GetDlgItem(Dialog(), 1005);
    int count = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++)
    {
        std::string text(SendMessageA(list, LB_GETTEXTLEN, i, 0), '\0');
        SendMessageA(list, LB_GETTEXT, i, LPARAM(&text[0]));
        rows.push_back({text, HWND(SendMessageA(list, LB_GETITEMDATA, i, 0))});
    }
    return rows;
}

int RowOf(HWND window)
{
    std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); i++)
        if (rows[i].window == window)
            return int(i);
    return -1;
}

bool Topmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// A title that is always a little longer than its length was last reported.
int growingLength = 40;

LRESULT CALLBACK GrowingTitleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_GETTEXTLENGTH:
        return ++growingLength;
    case WM_GETTEXT:
    {
        std::string title = "pinnit test growing " + std::string(growingLength, 'g');
        return lstrlenA(lstrcpynA(LPSTR(lParam), title.c_str(), int(wParam)));
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// A title whose length is misreported: by `extra` characters too many at every
// reading (as Windows may report it on a double-byte code page), or, for a
// title that changed while it was read, by `firstExtra` at the first only.
struct MisreportedTitle
{
    std::string title;
    int firstExtra, extra, readings;
};

LRESULT CALLBACK MisreportedTitleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *m = reinterpret_cast<MisreportedTitle *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message)
    {
    case WM_GETTEXTLENGTH:
        return LRESULT(m->title.size()) + (m->readings++ == 0 ? m->firstExtra : m->extra);
    case WM_GETTEXT:
        return lstrlenA(lstrcpynA(LPSTR(lParam), m->title.c_str(), int(wParam)));
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// The dialog's list box, answering LB_GETTEXTLEN with twice a row's length, as an
// ANSI list box on a double-byte code page may.
WNDPROC listBoxProc;

LRESULT CALLBACK DoubledRowLengthProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcA(listBoxProc, hwnd, message, wParam, lParam);
    return message == LB_GETTEXTLEN && result > 0 ? 2 * result : result;
}

struct DoubledRowLengths
{
    HWND list = GetDlgItem(Dialog(), 1005);
    DoubledRowLengths() { listBoxProc = WNDPROC(SetWindowLongPtrA(list, GWLP_WNDPROC, LONG_PTR(DoubledRowLengthProc))); }
    ~DoubledRowLengths() { SetWindowLongPtrA(list, GWLP_WNDPROC, LONG_PTR(listBoxProc)); }
};

} // namespace

TEST(WindowListRules, OnlyVisibleTitledWindowsAreListed)
{
    EXPECT_TRUE(IsListedWindow(TRUE, 1));
    EXPECT_TRUE(IsListedWindow(TRUE, 5000));
    EXPECT_FALSE(IsListedWindow(TRUE, 0));
    EXPECT_FALSE(IsListedWindow(FALSE, 1));
    EXPECT_FALSE(IsListedWindow(FALSE, 0));
}

TEST(WindowListRules, ToggleFlipsTheBandAndNeverWaitsForAnotherThread)
{
    EXPECT_EQ(HWND_TOPMOST, ToggleInsertAfter(0));
    EXPECT_EQ(HWND_NOTOPMOST, ToggleInsertAfter(1));
    EXPECT_EQ(UINT(SWP_NOMOVE | SWP_NOSIZE), ToggleFlags(FALSE));
    EXPECT_EQ(UINT(SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS), ToggleFlags(TRUE));
}

TEST(WindowListRules, DialogGoesToTheWorkAreasBottomRightWhereverTheTaskbarIs)
{
    const RECT frame = {100, 200, 377, 497}; // 277 x 297, wherever it is now
    struct Case { const char *taskbar; RECT workArea; POINT expected; } const cases[] = {
        {"bottom", {0, 0, 1024, 680}, {747, 383}},
        {"top", {0, 20, 1024, 700}, {747, 403}},
        {"left", {60, 0, 1024, 700}, {747, 403}},
        {"right", {0, 0, 964, 700}, {687, 403}},
    };
    for (const Case &c : cases)
    {
        POINT at = CornerPosition(&frame, &c.workArea);
        EXPECT_EQ(c.expected.x, at.x) << "taskbar at the " << c.taskbar;
        EXPECT_EQ(c.expected.y, at.y) << "taskbar at the " << c.taskbar;
    }
}

TEST(WindowList, ListsEveryVisibleTitledWindowWholeWithItsHandle)
{
    struct Case { std::string title; bool visible; bool listed; } const cases[] = {
        {"pinnit test hidden", false, false},
        {"", true, false},
        {"pinnit test twin", true, true},
        {"pinnit test twin", true, true},
        {"pinnit test caf\xE9 \x80 \xFF\xC4", true, true},
        {"pinnit test " + std::string(259 - 12, 'a'), true, true},
        {"pinnit test " + std::string(260 - 12, 'b'), true, true},
        {"pinnit test " + std::string(5000 - 12, 'c'), true, true},
    };
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (const Case &c : cases)
        windows.push_back(std::make_unique<TestWindow>(c.title.c_str(), c.visible));

    RebuildWindowList(Dialog());
    std::vector<Row> rows = Rows();
    std::map<HWND, std::string> listed;
    for (const Row &row : rows)
    {
        EXPECT_EQ(0u, listed.count(row.window)) << "listed twice: " << row.text.substr(0, 40);
        listed[row.window] = row.text;
    }
    for (size_t i = 0; i < std::size(cases); i++)
    {
        SCOPED_TRACE("window " + std::to_string(i) + " (" + std::to_string(cases[i].title.size()) + " characters)");
        ASSERT_EQ(cases[i].listed, listed.count(windows[i]->hwnd) == 1);
        if (cases[i].listed)
        {
            EXPECT_EQ(cases[i].title, listed[windows[i]->hwnd]);
        }
    }
    EXPECT_EQ(LB_ERR, SendMessageA(g_hWindowList, LB_GETCURSEL, 0, 0)) << "no row selected after a build";
    ASSERT_NE(nullptr, g_topmostFlags);
    EXPECT_EQ(GetDlgItem(Dialog(), 1005), g_hWindowList);
}

TEST(WindowList, OneToggleAlwaysFlipsAWindowAndABuildStartsFromItsRealState)
{
    TestWindow plain("pinnit test plain");
    TestWindow onTop("pinnit test on top", true, WS_EX_TOPMOST);
    ASSERT_TRUE(Topmost(onTop.hwnd));

    RebuildWindowList(Dialog());
    int plainRow = RowOf(plain.hwnd), onTopRow = RowOf(onTop.hwnd);
    ASSERT_GE(plainRow, 0);
    ASSERT_GE(onTopRow, 0);
    EXPECT_EQ(0, g_topmostFlags[plainRow]);
    EXPECT_EQ(1, g_topmostFlags[onTopRow]);

    ToggleSelectedRow();
    EXPECT_FALSE(Topmost(plain.hwnd)) << "nothing selected: nothing toggled";
    EXPECT_TRUE(Topmost(onTop.hwnd)) << "nothing selected: nothing toggled";

    SendMessageA(g_hWindowList, LB_SETCURSEL, plainRow, 0);
    ToggleSelectedRow();
    EXPECT_TRUE(Topmost(plain.hwnd)) << "first toggle pins";
    EXPECT_EQ(1, g_topmostFlags[plainRow]);
    ToggleSelectedRow();
    EXPECT_FALSE(Topmost(plain.hwnd)) << "second toggle unpins";
    EXPECT_EQ(0, g_topmostFlags[plainRow]);

    SendMessageA(g_hWindowList, LB_SETCURSEL, onTopRow, 0);
    ToggleSelectedRow();
    EXPECT_FALSE(Topmost(onTop.hwnd)) << "a window already on top comes down with one toggle";

    // Pinned, then listed again: the new build knows it is on top.
    SendMessageA(g_hWindowList, LB_SETCURSEL, plainRow, 0);
    ToggleSelectedRow();
    RebuildWindowList(Dialog());
    plainRow = RowOf(plain.hwnd);
    ASSERT_GE(plainRow, 0);
    EXPECT_EQ(1, g_topmostFlags[plainRow]);
    SendMessageA(g_hWindowList, LB_SETCURSEL, plainRow, 0);
    ToggleSelectedRow();
    EXPECT_FALSE(Topmost(plain.hwnd)) << "pinned before the rebuild, one toggle unpins";

    ReleaseTopmostFlags();
    EXPECT_EQ(nullptr, g_topmostFlags);
    ToggleSelectedRow();
    EXPECT_FALSE(Topmost(plain.hwnd)) << "without flags a toggle does nothing";
}

TEST(WindowList, ATitleThatGrowsAtEveryReadIsListedCut)
{
    TestWindow growing("pinnit test growing");
    SetWindowLongPtrA(growing.hwnd, GWLP_WNDPROC, LONG_PTR(GrowingTitleProc));

    RebuildWindowList(Dialog());
    int row = RowOf(growing.hwnd);
    ASSERT_GE(row, 0) << "a window whose title keeps growing must still be listed";
    EXPECT_EQ("pinnit test growing " + std::string(growingLength - 20, 'g'), Rows()[row].text)
        << "cut to the length last asked for";
}

TEST(WindowList, ATitleWhoseLengthIsMisreportedIsListedWhole)
{
    MisreportedTitle cases[] = {
        {"pinnit test length reported twice", 33, 33, 0},
        {"pinnit test changed while it was read", -5, 0, 0},
    };
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (MisreportedTitle &c : cases)
    {
        windows.push_back(std::make_unique<TestWindow>(c.title.c_str()));
        SetWindowLongPtrA(windows.back()->hwnd, GWLP_USERDATA, LONG_PTR(&c));
        SetWindowLongPtrA(windows.back()->hwnd, GWLP_WNDPROC, LONG_PTR(MisreportedTitleProc));
    }

    RebuildWindowList(Dialog());
    for (size_t i = 0; i < std::size(cases); i++)
    {
        int row = RowOf(windows[i]->hwnd);
        ASSERT_GE(row, 0) << cases[i].title << ": not listed";
        EXPECT_EQ(cases[i].title, Rows()[row].text) << "after " << cases[i].readings << " readings of its length";
    }
}

// Also with the row lengths overstated, as on Chinese, Japanese and Korean Windows.
TEST(WindowList, RowsAnotherProgramAddsRemovesOrChangesAreNeverToggled)
{
    for (bool overstated : {false, true})
    {
        SCOPED_TRACE(overstated ? "row lengths overstated" : "row lengths exact");
        std::optional<DoubledRowLengths> doubled;
        if (overstated)
            doubled.emplace();
        TestWindow above("pinnit test a above", true, WS_EX_TOPMOST), gone("pinnit test a gone"),
            changed("pinnit test b changed"), below("pinnit test d below"), unlisted("pinnit test unlisted", false);
        RebuildWindowList(Dialog());
        auto find = [](const char *text) { return SendMessageA(g_hWindowList, LB_FINDSTRINGEXACT, -1, LPARAM(text)); };
        auto point = [](LRESULT row, HWND window) { SendMessageA(g_hWindowList, LB_SETITEMDATA, row, LPARAM(window)); };

        // What another program can do to the list box: put in rows that sort first,
        // between the build's and last, pointing at windows listed or not; point a
        // built row elsewhere; take a built row out.
        point(SendMessageA(g_hWindowList, LB_ADDSTRING, 0, LPARAM("!")), unlisted.hwnd);
        point(SendMessageA(g_hWindowList, LB_ADDSTRING, 0, LPARAM("pinnit test c between")), above.hwnd);
        point(SendMessageA(g_hWindowList, LB_ADDSTRING, 0, LPARAM("zzzz added by another program")), below.hwnd);
        point(find("pinnit test b changed"), unlisted.hwnd);
        SendMessageA(g_hWindowList, LB_DELETESTRING, find("pinnit test a gone"), 0);

        for (const char *text : {"!", "pinnit test c between", "zzzz added by another program", "pinnit test b changed"})
        {
            SendMessageA(g_hWindowList, LB_SETCURSEL, find(text), 0);
            for (int toggle = 1; toggle <= 2; toggle++)
            {
                ToggleSelectedRow();
                EXPECT_TRUE(Topmost(above.hwnd) && !Topmost(changed.hwnd) && !Topmost(below.hwnd) && !Topmost(unlisted.hwnd))
                    << "toggle " << toggle << " of \"" << text << "\", a row the build did not make as it is";
            }
        }
        SendMessageA(g_hWindowList, LB_SETCURSEL, find("pinnit test d below"), 0);
        ToggleSelectedRow();
        EXPECT_TRUE(Topmost(below.hwnd)) << "a built row below the others pins its own window";
        ToggleSelectedRow();
        EXPECT_FALSE(Topmost(below.hwnd)) << "and unpins it with its own flag";
        EXPECT_TRUE(Topmost(above.hwnd));
    }
}
