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
    for (;;)
    {
        DrainMessages();
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
}

namespace {

struct Search
{
    const char *className;
    const char *title;
    DWORD pid;
    bool visibleOnly;
    HWND found;
};

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
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(at.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void SendKey(WORD vk, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

bool Launch(const std::string &exe, const std::string &arguments, PROCESS_INFORMATION *process)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string commandLine = "\"" + exe + "\" " + arguments;
    return CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si,
                          process) != FALSE;
}

// Lets the target process see input before the next step.
void Settle(void)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 150)
    {
        DrainMessages();
        Sleep(10);
    }
}

} // namespace

Pinnit::~Pinnit()
{
    if (Running())
    {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, WAIT_MS);
    }
    if (m_process.hProcess != NULL)
    {
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
}

// Says which step of a start failed, so that a slow or stuck desktop can be told apart.
static bool Step(bool done, const char *what)
{
    if (!done)
        std::fprintf(stderr, "pinnit start: %s\n", what);
    return done;
}

bool Answers(HWND hwnd)
{
    DWORD_PTR result;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 6 * WAIT_MS, &result) != 0;
}

// Ends the taskbar holder, which exits by itself once it has seen pinnit's icon.
static bool HolderDone(PROCESS_INFORMATION *holder)
{
    DWORD held = 1;
    if (WaitForSingleObject(holder->hProcess, 2 * WAIT_MS) == WAIT_OBJECT_0)
        GetExitCodeProcess(holder->hProcess, &held);
    else
        TerminateProcess(holder->hProcess, 1);
    CloseHandle(holder->hThread);
    CloseHandle(holder->hProcess);
    return held == 0;
}

bool Pinnit::Start(const std::string &arguments)
{
    PROCESS_INFORMATION holder;
    if (!Step(Launch(ExecutableBeside("hold_taskbar.exe"), "", &holder), "hold_taskbar.exe did not start"))
        return false;
    LARGE_INTEGER frequency, launched, present;
    QueryPerformanceFrequency(&frequency);
    bool started =
        Step(WaitUntil([] { return IsWindowVisible(FindWindowA("Shell_TrayWnd", NULL)) != FALSE; }),
             "no taskbar") &&
        QueryPerformanceCounter(&launched) &&
        Step(Launch(ExecutableBeside("pinnit.exe"), arguments, &m_process), "pinnit.exe did not start") &&
        Step(WaitUntil(
                 [this] {
                     m_main = FindTopLevelWindow("pinnit", "pinnit", m_process.dwProcessId);
                     return m_main != NULL && IconPresent();
                 },
                 3 * WAIT_MS),
             "no main window or no icon");
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
    return Launch(ExecutableBeside("pinnit.exe"), "", &m_process) && WaitUntil([this] {
               m_main = FindTopLevelWindow("pinnit", "pinnit", m_process.dwProcessId);
               return m_main != NULL;
           });
}

bool Pinnit::Running() const
{
    return m_process.hProcess != NULL && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
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
    POINT at = {tray.right - cell / 2, (tray.top + tray.bottom) / 2};
    return at;
}

void Pinnit::ClickIcon(bool right) const
{
    Click(IconPoint(), right);
}

RECT Pinnit::ListFrame() const
{
    RECT frame = {};
    GetWindowRect(List(), &frame);
    return frame;
}

HWND Pinnit::List() const
{
    return FindTopLevelWindow("#32770", "pinnit", m_process.dwProcessId);
}

// Says what a click on the icon met when it showed no list, so that a slow desktop,
// a window in the way and a pinnit that does not answer can be told apart.
static void DescribeMissedClick(POINT at, HWND main)
{
    HWND under = WindowFromPoint(at);
    char cls[64] = "";
    GetClassNameA(under, cls, sizeof cls);
    DWORD owner = 0;
    GetWindowThreadProcessId(under, &owner);
    POINT cursor = {};
    GetCursorPos(&cursor);
    GUITHREADINFO foreground = {};
    foreground.cbSize = sizeof foreground;
    GetGUIThreadInfo(0, &foreground);
    std::fprintf(stderr,
                 "a click at (%ld,%ld) showed no list: under it %p (%s, process %lu); cursor at (%ld,%ld); "
                 "foreground %p, capture %p; pinnit %s, taskbar %s\n",
                 at.x, at.y, (void *)under, cls, owner, cursor.x, cursor.y, (void *)foreground.hwndActive,
                 (void *)foreground.hwndCapture, Answers(main) ? "answers" : "does not answer",
                 Answers(FindWindowA("Shell_TrayWnd", NULL)) ? "answers" : "does not answer");
}

HWND Pinnit::ShowList() const
{
    ClickIcon(false);
    HWND list = List();
    if (WaitUntil([&] { return IsWindowVisible(list) != FALSE; }))
        return list;
    DescribeMissedClick(IconPoint(), m_main);
    return NULL;
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

HWND OpenMenuWindow(void)
{
    return FindTopLevelWindow("#32768", NULL, 0, true);
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

void PressKey(WORD vk)
{
    SendKey(vk, false);
    SendKey(vk, true);
    Settle();
}

void PressKeys(WORD modifier, WORD vk)
{
    SendKey(modifier, false);
    SendKey(vk, false);
    SendKey(vk, true);
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
    return CenterOf(rect);
}

POINT CloseButtonPoint(HWND dialog)
{
    RECT frame;
    GetWindowRect(dialog, &frame);
    POINT at = {frame.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSMSIZE) / 2,
                frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYSMCAPTION) / 2};
    return at;
}

std::string WindowText(HWND hwnd)
{
    char text[512] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

POINT CenterOf(const RECT &rect)
{
    POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return at;
}

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

std::vector<COLORREF> ScreenPixels(const RECT &rect)
{
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    std::vector<RGBQUAD> quads(size_t(width) * height);
    GetDIBits(memory, bitmap, 0, height, quads.data(), reinterpret_cast<BITMAPINFO *>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);

    std::vector<COLORREF> pixels;
    pixels.reserve(quads.size());
    for (const RGBQUAD &q : quads)
        pixels.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return pixels;
}

bool SaveScreenshot(const std::string &path)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    DWORD stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(stride * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO *>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + DWORD(pixels.size());
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written;
    bool ok = WriteFile(out, &file, sizeof file, &written, NULL) &&
              WriteFile(out, &info, sizeof info, &written, NULL) &&
              WriteFile(out, pixels.data(), DWORD(pixels.size()), &written, NULL);
    CloseHandle(out);
    return ok;
}
