// Prints how long one rebuild of the window list takes with 100 and 1000 extra
// windows of another process, next to a bare pass over the same windows.
//
//   pinnit_bench.exe              runs the benchmark
//   pinnit_bench.exe --windows N  (internal) the other process that owns N windows
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "windowlist/windowlist.h"

namespace {

const char READY_EVENT[] = "pinnit_bench_windows_ready";

int OwnWindows(int count, HANDLE parent)
{
    for (int i = 0; i < count; i++)
    {
        char title[64];
        std::snprintf(title, sizeof title, "pinnit bench window %04d", i);
        CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, -3000, -3000, 10, 10, NULL,
                        NULL, NULL, NULL);
    }
    SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, READY_EVENT));
    while (MsgWaitForMultipleObjects(1, &parent, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return 0;
}

struct Owner
{
    PROCESS_INFORMATION process = {};
    bool started = false;

    explicit Owner(int count)
    {
        HANDLE ready = CreateEventA(NULL, TRUE, FALSE, READY_EVENT);
        HANDLE self;
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, 0,
                        TRUE, DUPLICATE_SAME_ACCESS);
        char exe[MAX_PATH];
        GetModuleFileNameA(NULL, exe, MAX_PATH);
        std::string commandLine = "\"" + std::string(exe) + "\" --windows " + std::to_string(count) +
                                  " " + std::to_string(reinterpret_cast<UINT_PTR>(self));
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started = CreateProcessA(exe, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &process) &&
                  WaitForSingleObject(ready, 120000) == WAIT_OBJECT_0;
        CloseHandle(ready);
    }
    ~Owner()
    {
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
};

// What any list of windows costs at least: every window visited, every visible
// title read into a heap buffer, nothing else.
BOOL CALLBACK BareVisit(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    int length = GetWindowTextLengthA(window);
    if (length == 0)
        return TRUE;
    char *title = static_cast<char *>(MemAlloc(length + 1));
    GetWindowTextA(window, title, length + 1);
    MemFree(title);
    return TRUE;
}

double ElapsedMs(const std::function<void()> &work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void BarePass()
{
    EnumWindows(BareVisit, 0);
}

// Medians of the bare pass and of the work, measured in turns so that both see
// the same machine; a first round warms both up and is not counted.
void MeasurePair(int runs, const std::function<void()> &work, double *bare, double *measured)
{
    std::vector<double> bareTimes, workTimes;
    BarePass();
    work();
    for (int i = 0; i < runs; i++)
    {
        bareTimes.push_back(ElapsedMs(BarePass));
        workTimes.push_back(ElapsedMs(work));
    }
    *bare = Median(bareTimes);
    *measured = Median(workTimes);
}

void DrainMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--windows") == 0)
        return OwnWindows(std::atoi(argv[2]), reinterpret_cast<HANDLE>(std::strtoul(argv[3], NULL, 10)));

    g_hInstance = GetModuleHandleA(NULL);
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    CreateWindowListDialog(owner);
    if (g_hWindowListDlg == NULL)
        return 1;

    std::printf("window list rebuild, median ms (rows listed)\n");
    std::printf("%7s %9s %9s %9s %7s %7s\n", "windows", "bare", "hidden", "visible", "hidden/", "visible/");
    std::printf("%7s %9s %9s %9s %7s %7s\n", "", "pass", "", "", "bare", "bare");
    for (int count : {100, 1000})
    {
        Owner windows(count);
        if (!windows.started)
            return 1;
        int runs = count > 100 ? 5 : 9;

        double bareHidden, hidden, bareVisible, visible;
        ShowWindow(g_hWindowListDlg, SW_HIDE);
        DrainMessages();
        MeasurePair(runs, [] { RebuildWindowList(g_hWindowListDlg); }, &bareHidden, &hidden);

        ShowWindow(g_hWindowListDlg, SW_SHOWNOACTIVATE);
        DrainMessages();
        // Counts the one repaint the rebuild leaves pending, too.
        MeasurePair(runs, [] {
            RebuildWindowList(g_hWindowListDlg);
            UpdateWindow(g_hWindowListDlg);
        }, &bareVisible, &visible);
        ShowWindow(g_hWindowListDlg, SW_HIDE);

        std::printf("%7d %9.1f %9.1f %9.1f %7.2f %7.2f   (%ld rows)\n", count,
                    (bareHidden + bareVisible) / 2, hidden, visible, hidden / bareHidden,
                    visible / bareVisible, long(SendMessageA(g_hWindowList, LB_GETCOUNT, 0, 0)));
    }
    return 0;
}
