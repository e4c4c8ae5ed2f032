// Holds up the taskbar of a Wine virtual desktop while pinnit starts.
//
// Wine shows the taskbar only while some tray icon exists, and a program keeps
// the work area it first read: pinnit, started into an empty taskbar, would place
// its list over the taskbar once its own icon brings it up. This adds an icon of
// its own, waits until pinnit's icon is there too, then takes its own away.
// Given a command line, it starts that itself once the taskbar is up (the run
// command's pinnit); the tests start pinnit on their own.
#include <windows.h>
#include <shellapi.h>

static const DWORD TIMEOUT_MS = 30000;
static const UINT PINNIT_ICON_UID = 1025;

static bool TaskbarVisible(void)
{
    return IsWindowVisible(FindWindowA("Shell_TrayWnd", NULL)) != FALSE;
}

// Modifying an icon with nothing to change succeeds only if the shell has it.
static bool PinnitIconPresent(void)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = FindWindowA("pinnit", "pinnit");
    nid.uID = PINNIT_ICON_UID;
    return nid.hWnd != NULL && Shell_NotifyIconA(NIM_MODIFY, &nid);
}

static bool WaitFor(bool (*condition)(void))
{
    for (DWORD waited = 0; waited < TIMEOUT_MS; waited += 50)
    {
        if (condition())
            return true;
        Sleep(50);
    }
    return false;
}

static bool StartProgram(LPCSTR commandLine)
{
    char line[MAX_PATH];
    lstrcpynA(line, commandLine, MAX_PATH);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    HWND owner = CreateWindowExA(0, "STATIC", "hold_taskbar", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                 instance, NULL);
    NOTIFYICONDATAA nid = {};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = owner;
    nid.uID = 1;
    nid.uFlags = NIF_ICON;
    nid.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    bool held = Shell_NotifyIconA(NIM_ADD, &nid) && WaitFor(TaskbarVisible) &&
                (commandLine[0] == '\0' || StartProgram(commandLine)) && WaitFor(PinnitIconPresent);
    Shell_NotifyIconA(NIM_DELETE, &nid);
    DestroyWindow(owner);
    return held ? 0 : 1;
}
