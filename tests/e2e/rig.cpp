#include "rig.h"

#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "peimage.h"
#include "res/resource.h"

void DrainMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (DrainMessages(); !condition(); DrainMessages())
    {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

namespace {

struct Search { const char *className, *title; DWORD pid; bool visibleOnly; HWND found; };

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    Search *search = reinterpret_cast<Search *>(lParam);
    char cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if ((search->pid == 0 || pid == search->pid) && (!search->visibleOnly || IsWindowVisible(hwnd)) &&
        GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpiA(cls, search->className) == 0 &&
        (search->title == NULL || WindowText(hwnd) == search->title))
    {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Each event carries the position itself, so it lands where it is meant to even if
// the desktop has not caught up with the pointer's last move.
void SendMouseAt(POINT at, DWORD flags)
{
    INPUT input = {INPUT_MOUSE, {}};
    input.mi.dx = MulDiv(at.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(at.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void SendKey(WORD vk, bool up)
{
    INPUT input = {INPUT_KEYBOARD, {}};
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

// Lets the target process see input before the next step.
void Settle(void)
{
    WaitUntil([] { return false; }, 150);
}

bool Launch(const char *exe, const std::string &arguments, PROCESS_INFORMATION *process)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string path = ExecutableBeside(exe), commandLine = "\"" + path + "\" " + arguments;
    return CreateProcessA(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, process) != FALSE;
}

void Close(PROCESS_INFORMATION *process)
{
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    *process = {};
}

// Says which step of a start failed, so that a slow or stuck desktop can be told apart.
bool Step(bool done, const char *what)
{
    if (!done)
        std::fprintf(stderr, "pinnit start: %s\n", what);
    return done;
}

// The taskbar holder exits by itself, with code 0, once it has seen pinnit's icon.
bool HolderDone(PROCESS_INFORMATION *holder)
{
    DWORD held = 1;
    if (WaitForSingleObject(holder->hProcess, 2 * WAIT_MS) == WAIT_OBJECT_0)
        GetExitCodeProcess(holder->hProcess, &held);
    else
        TerminateProcess(holder->hProcess, 1);
    Close(holder);
    return held == 0;
}

} // namespace

void Pinnit::End()
{
    if (Running())
    {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, WAIT_MS);
    }
    if (m_process.hProcess != NULL)
        Close(&m_process);
}

bool Pinnit::Start(const std::string &arguments)
{
    End();
    PROCESS_INFORMATION holder;
    if (!Step(Launch("hold_taskbar.exe", "", &holder), "hold_taskbar.exe did not start"))
        return false;
    LARGE_INTEGER frequency, launched, present;
    QueryPerformanceFrequency(&frequency);
    bool started =
        Step(WaitUntil([] { return IsWindowVisible(FindWindowA("Shell_TrayWnd", NULL)) != FALSE; }), "no taskbar") &&
        QueryPerformanceCounter(&launched) &&
        Step(Launch("pinnit.exe", arguments, &m_process), "pinnit.exe did not start") &&
        Step(WaitUntil([this] { return FindMainWindow() && IconPresent(); }, 3 * WAIT_MS), "no main window or no icon");
    QueryPerformanceCounter(&present);
    m_startupMs = 1000.0 * (present.QuadPart - launched.QuadPart) / frequency.QuadPart;
    bool held = Step(HolderDone(&holder), "hold_taskbar.exe did not see the icon");
    // The icon comes before the window list is built, which takes a while among many
    // windows, and the taskbar may still be busy with what came before: input sent
    // now could find no list yet, or land where the icons were. Once both answer,
    // they have caught up.
    return started && held && Step(Answers(m_main), "pinnit does not answer") &&
           Step(Answers(FindWindowA("Shell_TrayWnd", NULL)), "the taskbar does not answer");
}

bool Pinnit::StartAlone()
{
    End();
    return Launch("pinnit.exe", "", &m_process) && WaitUntil([this] { return FindMainWindow(); });
}
DWORD Pinnit::WaitForExit(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    WaitUntil([this] { return !Running(); }, timeoutMs);
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

// Modifying an icon with no fields to change succeeds only if the shell has it.
bool Pinnit::IconPresent() const
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = m_main;
    nid.uID = TRAY_ICON_UID;
    return m_main != NULL && Shell_NotifyIconA(NIM_MODIFY, &nid);
}

// The taskbar draws its icons right to left from its right edge, one small-icon
// cell (with a two-pixel border each side) per icon; pinnit's is the only one.
POINT Pinnit::IconPoint() const
{
    RECT tray = {};
    GetWindowRect(FindWindowA("Shell_TrayWnd", NULL), &tray);
    int cell = GetSystemMetrics(SM_CXSMICON) + 4;
    return POINT{tray.right - cell / 2, (tray.top + tray.bottom) / 2};
}

HWND Pinnit::ShowList() const
{
    ClickIcon(false);
    HWND list = List();
    return WaitUntil([&] { return IsWindowVisible(list) != FALSE; }) ? list : NULL;
}

HWND FindTopLevelWindow(const char *className, const char *title, DWORD pid, bool visibleOnly)
{
    Search search = {className, title, pid, visibleOnly, NULL};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForVisibleWindow(const char *className, DWORD pid, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindTopLevelWindow(className, NULL, pid, true)) != NULL; }, timeoutMs);
    return found;
}

bool Is64BitProcess(HANDLE process)
{
    BOOL selfWow64 = FALSE, wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &selfWow64) && selfWow64 && IsWow64Process(process, &wow64) &&
           !wow64;
}

void MoveTo(POINT at)
{
    SendMouseAt(at, 0);
    Settle();
}

void Click(POINT at, bool right)
{
    MoveTo(at);
    SendMouseAt(at, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    // Caption buttons track the press in a loop of their own before seeing the release.
    Sleep(50);
    SendMouseAt(at, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    Settle();
}

void DoubleClick(POINT at)
{
    MoveTo(at);
    for (int i = 0; i < 2; i++)
    {
        SendMouseAt(at, MOUSEEVENTF_LEFTDOWN);
        SendMouseAt(at, MOUSEEVENTF_LEFTUP);
    }
    Settle();
}

void Drag(POINT from, POINT to)
{
    MoveTo(from);
    SendMouseAt(from, MOUSEEVENTF_LEFTDOWN);
    MoveTo(to);
    SendMouseAt(to, MOUSEEVENTF_LEFTUP);
    Settle();
}

void PressKeys(WORD modifier, WORD vk)
{
    if (modifier != 0)
        SendKey(modifier, false);
    SendKey(vk, false);
    SendKey(vk, true);
    if (modifier != 0)
        SendKey(modifier, true);
    Settle();
}

int RowOf(HWND list, HWND window)
{
    int count = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int row = 0; row < count; row++)
        if (HWND(SendMessageA(list, LB_GETITEMDATA, row, 0)) == window)
            return row;
    return -1;
}

// Wine hands another process's list box text over in UTF-16 whichever way it is
// asked for, so rows are read as such.
std::string RowText(HWND list, int row)
{
    WCHAR wide[1024];
    if (SendMessageW(list, LB_GETTEXTLEN, row, 0) >= LRESULT(ARRAYSIZE(wide)))
        return "";
    LRESULT length = SendMessageW(list, LB_GETTEXT, row, LPARAM(wide));
    char text[ARRAYSIZE(wide)];
    int bytes = length > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, int(length), text, sizeof text, NULL, NULL) : 0;
    return std::string(text, size_t(bytes));
}

POINT RowPoint(HWND list, int row)
{
    SendMessageA(list, LB_SETTOPINDEX, row, 0);
    RECT rect = {};
    SendMessageA(list, LB_GETITEMRECT, row, LPARAM(&rect));
    MapWindowPoints(list, NULL, reinterpret_cast<POINT *>(&rect), 2);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

POINT CloseButtonPoint(HWND dialog)
{
    RECT frame;
    GetWindowRect(dialog, &frame);
    return POINT{frame.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSMSIZE) / 2,
                 frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYSMCAPTION) / 2};
}

std::string WindowText(HWND hwnd)
{
    char text[512] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}
