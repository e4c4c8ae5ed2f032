// Prints what the real pinnit.exe costs the user's machine: its size and imports,
// the time from start to icon, its memory after start and after 1000 rebuilds of
// the list, and the CPU time it takes while left alone for 10 seconds.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/rig.h"
#include "peimage.h"
#include "res/resource.h"

namespace {

const DWORD IDLE_MS = 10000;
const int REBUILDS = 1000;

// Under Wine the working set counts Wine's own DLLs, nearly 19 MB for a program
// that allocates almost nothing; the private bytes are the program's.
void PrintMemory(const char *when, HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    std::printf("%-28s working set %6lu KB, private %6lu KB\n", when,
                (unsigned long)(counters.WorkingSetSize / 1024), (unsigned long)(counters.PagefileUsage / 1024));
}

// User plus kernel time, in milliseconds.
double CpuMs(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (k.QuadPart + u.QuadPart) / 10000.0;
}

} // namespace

int main()
{
    // The test scripts say how 32-bit Wine runs; under qemu, memory counts the emulator's too.
    const char *machine = std::getenv("PINNIT_I386");
    std::printf("32-bit Wine runs             %s\n", machine ? machine : "(not said)");
    const std::string exe = ExecutableBeside("pinnit.exe");
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!GetFileAttributesExA(exe.c_str(), GetFileExInfoStandard, &file))
        return 1;
    std::printf("pinnit.exe                   %lu bytes, imports", (unsigned long)file.nFileSizeLow);
    for (const std::string &dll : ReadPeImports(exe))
        std::printf(" %s", dll.c_str());
    std::printf("\n");

    Pinnit pinnit;
    if (!pinnit.Start())
        return 1;
    std::printf("start to icon                %.0f ms\n", pinnit.StartupMs());
    PrintMemory("after start", pinnit.Process());

    // Each left click on the icon rebuilds the list; sent, so each one is finished.
    double before = CpuMs(pinnit.Process());
    for (int i = 0; i < REBUILDS; i++)
        SendMessageTimeoutA(pinnit.MainWindow(), WM_TRAYNOTIFY, TRAY_ICON_UID, WM_LBUTTONUP, SMTO_NORMAL, WAIT_MS,
                            NULL);
    double rebuilt = CpuMs(pinnit.Process());
    PostMessageA(pinnit.List(), WM_SYSCOMMAND, SC_CLOSE, 0);
    WaitUntil([&] { return !IsWindowVisible(pinnit.List()); });
    PrintMemory("after 1000 rebuilds", pinnit.Process());
    std::printf("CPU for 1000 rebuilds        %.0f ms\n", rebuilt - before);

    // Nothing of this process touches pinnit meanwhile.
    double idleStart = CpuMs(pinnit.Process());
    Sleep(IDLE_MS);
    double idleEnd = CpuMs(pinnit.Process());
    std::printf("CPU over 10 idle seconds     %.1f ms\n", idleEnd - idleStart);
    return pinnit.Running() ? 0 : 1;
}
