// The window list of the real pinnit.exe, shown from its icon and used with the mouse.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "fixture.h"
#include "testwindow.h"
#include "res/resource.h"

namespace {

const RECT ON_SCREEN = {100, 100, 300, 200};

// Read from the z-order, not the picture: Wine draws the window activated last over
// one another process pinned, though its window manager has the pinned one on top.
bool Topmost(HWND window)
{
    DrainMessages();
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// Double-clicks the window's row and waits for the window to reach the band.
bool ToggleByDoubleClick(HWND list, HWND window, bool topmostAfter)
{
    int row = RowOf(list, window);
    if (row < 0)
        return false;
    DoubleClick(RowPoint(list, row));
    return WaitUntil([&] { return Topmost(window) == topmostAfter; });
}

// Double-clicks the row of a window whose thread does not answer, checks that
// pinnit still handles real input, then lets the thread answer again.
void ExpectHungToggleLeavesPinnitAnswering(HWND dialog, HWND window, const std::function<void()> &answerAgain)
{
    HWND list = GetDlgItem(dialog, IDC_WINDOWLIST);
    int row = RowOf(list, window);
    ASSERT_GE(row, 0);
    DoubleClick(RowPoint(list, row));
    EXPECT_FALSE(Topmost(window)) << "a hung window cannot restack itself";
    // A thread blocked in a sent message still answers messages sent to it, so
    // the check is real input that only pinnit's message loop can handle.
    Click(CloseButtonPoint(dialog));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); }, 1000))
        << "pinnit did not handle a click on its close button within a second";

    answerAgain();
    EXPECT_TRUE(WaitUntil([&] { return Topmost(window); })) << "the request is carried out once the window answers";
}

// Wine's Notepad, a program of its own; on 64-bit Windows the 64-bit one, which
// a 32-bit program finds under sysnative.
struct OtherProgram
{
    PROCESS_INFORMATION process = {};
    HWND hwnd = NULL;

    OtherProgram()
    {
        BOOL wow64 = FALSE;
        IsWow64Process(GetCurrentProcess(), &wow64);
        char commandLine[] = "notepad.exe";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (CreateProcessA(wow64 ? "C:\\windows\\sysnative\\notepad.exe" : "C:\\windows\\system32\\notepad.exe",
                           commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &process))
            hwnd = WaitForVisibleWindow("Notepad", process.dwProcessId, 6 * WAIT_MS);
    }
    ~OtherProgram()
    {
        if (process.hProcess == NULL)
            return;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, WAIT_MS);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;
};

using WindowListE2E = PinnitTest;

} // namespace

TEST_F(WindowListE2E, LeftClickShowsTheListAtTheCornerAboveTheTaskbar)
{
    TestWindow other("pinnit e2e other process", true, 0, ON_SCREEN);
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);

    RECT frame = pinnit.ListFrame(), taskbar, workArea;
    GetWindowRect(FindWindowA("Shell_TrayWnd", NULL), &taskbar);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    EXPECT_EQ(workArea.right, frame.right);
    EXPECT_EQ(workArea.bottom, frame.bottom) << "the list sits at the work area's corner";
    // Wine 10's virtual desktop counts the taskbar into the work area; Windows and Wine 8 do not.
    if (workArea.bottom < GetSystemMetrics(SM_CYSCREEN))
    {
        EXPECT_EQ(taskbar.top, frame.bottom) << "the list's bottom edge sits on the taskbar";
    }
    EXPECT_TRUE(Topmost(dialog));
    EXPECT_EQ(dialog, GetForegroundWindow());

    HWND list = GetDlgItem(dialog, IDC_WINDOWLIST);
    EXPECT_GE(RowOf(list, other.hwnd), 0) << "another process's window is listed";
    EXPECT_GE(RowOf(list, dialog), 0) << "the list lists itself";
    EXPECT_LT(RowOf(list, pinnit.MainWindow()), 0) << "the hidden main window is not listed";
    EXPECT_EQ(LB_ERR, SendMessageA(list, LB_GETCURSEL, 0, 0));
}

TEST_F(WindowListE2E, DoubleClickPinsAndUnpinsAndSelectingChangesNothing)
{
    TestWindow target("pinnit e2e target", true, 0, ON_SCREEN);
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);
    HWND list = GetDlgItem(dialog, IDC_WINDOWLIST);
    int row = RowOf(list, target.hwnd);
    ASSERT_GE(row, 0);

    Click(RowPoint(list, row));
    PressKey(VK_DOWN);
    PressKey(VK_UP);
    EXPECT_FALSE(Topmost(target.hwnd)) << "a click and the arrow keys only select";

    EXPECT_TRUE(ToggleByDoubleClick(list, target.hwnd, true)) << "first double-click pins";
    EXPECT_TRUE(ToggleByDoubleClick(list, target.hwnd, false)) << "second double-click unpins";
}

TEST_F(WindowListE2E, CloseHidesTheListAndTheNextClickReadsItAfresh)
{
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);
    ASSERT_EQ(HTCLOSE, SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(CloseButtonPoint(dialog).x, CloseButtonPoint(dialog).y)));
    Click(CloseButtonPoint(dialog));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); })) << "close hides the list";
    EXPECT_TRUE(IsWindow(dialog)) << "and does not destroy it";

    TestWindow later("pinnit e2e created later", true, 0, ON_SCREEN);
    ASSERT_EQ(dialog, pinnit.ShowList());
    EXPECT_GE(RowOf(GetDlgItem(dialog, IDC_WINDOWLIST), later.hwnd), 0);
}

TEST_F(WindowListE2E, EscapeEnterAndTabLeaveTheListOpen)
{
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);
    for (WORD key : {VK_ESCAPE, VK_RETURN, VK_TAB})
    {
        PressKey(key);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "key 0x" << std::hex << key;
    }
    EXPECT_TRUE(pinnit.Running());
}

namespace {

// A window whose thread stops answering messages once the window exists.
struct HungWindow
{
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, NULL);
    HWND hwnd = NULL;
    HANDLE thread;

    HungWindow() { thread = CreateThread(NULL, 0, Run, this, 0, NULL); WaitForSingleObject(ready, WAIT_MS); }
    // Lets the thread answer messages again until the object is destroyed.
    void Release() { SetEvent(release); }
    ~HungWindow()
    {
        Release();
        PostThreadMessageA(GetThreadId(thread), WM_QUIT, 0, 0);
        CloseHandle(thread);
        CloseHandle(ready);
        CloseHandle(release);
    }

    static DWORD WINAPI Run(void *param)
    {
        HungWindow *self = static_cast<HungWindow *>(param);
        TestWindow window("pinnit e2e hung window", true, 0, ON_SCREEN);
        self->hwnd = window.hwnd;
        SetEvent(self->ready);
        WaitForSingleObject(self->release, INFINITE);
        // Answering again: a pending restack request is handled now.
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0)
            DispatchMessageA(&msg);
        return 0;
    }
};

} // namespace

TEST_F(WindowListE2E, AHungWindowCanBeToggledWithoutFreezingPinnit)
{
    HungWindow hung;
    ASSERT_NE(nullptr, hung.hwnd);
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);
    ExpectHungToggleLeavesPinnitAnswering(dialog, hung.hwnd, [&] { hung.Release(); });
}

TEST_F(WindowListE2E, AnotherProgramsWindowIsListedByTitlePinnedUnpinnedAndToggledWhileItHangs)
{
    OtherProgram notepad;
    ASSERT_NE(nullptr, notepad.hwnd);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(wow64 != FALSE, Is64BitProcess(notepad.process.hProcess))
        << "on 64-bit Windows the other program is a 64-bit one";
    HWND dialog = pinnit.ShowList();
    ASSERT_NE(nullptr, dialog);
    HWND list = GetDlgItem(dialog, IDC_WINDOWLIST);
    int row = RowOf(list, notepad.hwnd);
    ASSERT_GE(row, 0);
    EXPECT_EQ(WindowText(notepad.hwnd), RowText(list, row));
    EXPECT_NE("", RowText(list, row));

    EXPECT_TRUE(ToggleByDoubleClick(list, notepad.hwnd, true)) << "first double-click pins";
    EXPECT_TRUE(ToggleByDoubleClick(list, notepad.hwnd, false)) << "second double-click unpins";

    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(notepad.hwnd, NULL));
    ASSERT_NE(DWORD(-1), SuspendThread(thread));
    ExpectHungToggleLeavesPinnitAnswering(dialog, notepad.hwnd, [&] { ResumeThread(thread); });
    CloseHandle(thread);
}
