// pinnit.exe's shell, driven through its tray icon with real input.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "fixture.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

// The popup menu pinnit shows from its tray icon, NULL when none is open.
HWND OpenMenuWindow(void)
{
    return FindTopLevelWindow("#32768", NULL, 0, true);
}

// The window's rows as seen on screen, top to bottom, runs collapsed: 'T' for rows
// with dark text pixels, 'L' for rows crossed by a line of one colour, blanks dropped.
std::string RowProfile(HWND hwnd)
{
    RECT rect;
    GetWindowRect(hwnd, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    COLORREF background = GetPixel(screen, rect.left + width / 2, rect.top + 3);
    std::string profile;
    for (int y = 3; y < height - 3; y++)
    {
        int dark = 0, line = 0;
        COLORREF first = GetPixel(screen, rect.left + 4, rect.top + y);
        for (int x = 4; x < width - 4; x++)
        {
            COLORREF pixel = GetPixel(screen, rect.left + x, rect.top + y);
            if (GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 200)
                dark++;
            if (pixel == first && pixel != background)
                line++;
        }
        char kind = line >= (width - 8) * 9 / 10 ? 'L' : dark > 0 ? 'T' : '.';
        if (kind != '.' && (profile.empty() || profile.back() != kind))
            profile += kind;
    }
    ReleaseDC(NULL, screen);
    return profile;
}

HWND RightClickIcon(const Pinnit &pinnit)
{
    pinnit.ClickIcon(true);
    return WaitForVisibleWindow("#32768", pinnit.Pid());
}

// Adds the stand-in taskbar below has refused so far.
int refusedAdds;

LRESULT CALLBACK RefusingTaskbarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    if (reinterpret_cast<const COPYDATASTRUCT *>(lParam)->dwData == NIM_ADD)
        refusedAdds++;
    return FALSE;
}

// A taskbar of the test's own, which the shell asks before the real one: it
// refuses every request, as a taskbar too busy to answer in time does.
struct RefusingTaskbar
{
    HWND hwnd;
    RefusingTaskbar()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RefusingTaskbarProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&wc);
        refusedAdds = 0;
        hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0,
                               NULL, NULL, wc.hInstance, NULL);
    }
    ~RefusingTaskbar() { DestroyWindow(hwnd); }
};

// The shell's tests start pinnit with a command line, which it must ignore.
class ShellE2E : public PinnitTest
{
protected:
    ShellE2E() : PinnitTest("--these arguments are ignored") {}
};

} // namespace

TEST_F(ShellE2E, StartsIdleAndHiddenWithItsIconInTheTray)
{
    EXPECT_EQ(DWORD(IDLE_PRIORITY_CLASS), GetPriorityClass(pinnit.Process()));
    EXPECT_FALSE(IsWindowVisible(pinnit.MainWindow()));
    EXPECT_TRUE(pinnit.IconPresent());
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    DWORD taskbarPid = 0;
    GetWindowThreadProcessId(FindWindowA("Shell_TrayWnd", NULL), &taskbarPid);
    HANDLE taskbar = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, taskbarPid);
    EXPECT_EQ(wow64 != FALSE, Is64BitProcess(taskbar)) << "on 64-bit Windows the taskbar is a 64-bit program";
    CloseHandle(taskbar);

    MoveTo(pinnit.IconPoint());
    EXPECT_NE(nullptr, WaitForVisibleWindow("tooltips_class32", 0)) << "no tip over the icon";
    EXPECT_FALSE(IsWindowVisible(pinnit.MainWindow())) << "hovering shows nothing";
}

TEST_F(ShellE2E, RightClickOpensTheMenuAndEscapeClosesIt)
{
    for (int round = 0; round < 2; round++)
    {
        SCOPED_TRACE(round == 0 ? "first right click" : "second right click");
        HWND menu = RightClickIcon(pinnit);
        ASSERT_NE(nullptr, menu) << "no menu opened";
        EXPECT_EQ("TLT", RowProfile(menu)) << "two entries with a separator between them";

        PressKey(VK_ESCAPE);
        EXPECT_TRUE(WaitUntil([] { return OpenMenuWindow() == NULL; })) << "Escape left the menu open";
        EXPECT_TRUE(pinnit.Running());
        EXPECT_TRUE(pinnit.IconPresent());
    }
}

TEST_F(ShellE2E, ExitRemovesTheIconAndEndsWithCodeZero)
{
    HWND menu = RightClickIcon(pinnit);
    ASSERT_NE(nullptr, menu);

    // The first entry is the top one; its text starts near the top edge.
    RECT rect;
    GetWindowRect(menu, &rect);
    POINT exitItem = {(rect.left + rect.right) / 2, rect.top + 10};
    Click(exitItem);
    EXPECT_EQ(0u, pinnit.WaitForExit());
    EXPECT_FALSE(pinnit.IconPresent());
}

TEST_F(ShellE2E, IconComesBackWhenTheTaskbarIsCreatedAgain)
{
    // What a taskbar restart does to the icon: it is gone from the notification area.
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = pinnit.MainWindow();
    nid.uID = TRAY_ICON_UID;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
    ASSERT_FALSE(pinnit.IconPresent());

    PostMessageA(pinnit.MainWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return pinnit.IconPresent(); })) << "icon not added again";
    EXPECT_TRUE(pinnit.Running());
}

// Starts pinnit itself, alone, as at sign-in.
TEST(StartupE2E, ARefusedIconIsAskedForAgainAndPinnitEndsWithCodeOneIfItIsNeverTaken)
{
    RefusingTaskbar refusing;
    ASSERT_EQ(refusing.hwnd, FindWindowA("Shell_TrayWnd", NULL)) << "the shell would ask the real taskbar";
    Pinnit never, later;
    ASSERT_TRUE(never.StartAlone());
    // Each retry asked for at once by its timer's message, rather than after its wait.
    for (int posted = 0; posted < 20 && never.Running() &&
                         WaitUntil([&] { return refusedAdds > posted || !never.Running(); });
         posted++)
        PostMessageA(never.MainWindow(), WM_TIMER, ICON_RETRY_TIMER, 0);
    EXPECT_EQ(1u, never.WaitForExit()) << "still running, or ended otherwise, after "
                                       << refusedAdds << " refused adds";
    EXPECT_EQ(9, refusedAdds) << "the first add and eight more, over two minutes";

    refusedAdds = 0;
    ASSERT_TRUE(later.StartAlone());
    ASSERT_TRUE(WaitUntil([] { return refusedAdds >= 2; })) << "refused adds: " << refusedAdds;
    DestroyWindow(refusing.hwnd);
    EXPECT_TRUE(WaitUntil([&] { return later.IconPresent(); })) << "the real taskbar was never asked";
    EXPECT_NE(nullptr, later.ShowList()) << "the icon does not answer a click";
}
