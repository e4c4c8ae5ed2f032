// Each run of the end-to-end tests gets a Wine desktop of its own, with a taskbar,
// as fresh as a user's session: the process started by the test command makes
// it and runs itself again inside, passing its output and exit code on.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

static const char DESKTOP_VARIABLE[] = "PINNIT_E2E_DESKTOP";

static std::string ThreadDesktopName(void)
{
    char name[64] = "";
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, NULL);
    return name;
}

// Wine's desktop process reads the desktop's size and whether it has a taskbar
// here. The desktop's handle is handed down, and this thread moves to it too, so
// that all the new process's threads belong to it, not just its first: Wine gives
// the others the desktop of an inherited handle or of the parent's thread.
static int RunInOwnDesktop(void)
{
    std::string name = "pinnit-e2e-" + std::to_string(GetCurrentProcessId());
    const char *desktops = "Software\\Wine\\Explorer\\Desktops";
    const DWORD enableShell = 1;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HDESK desktop = NULL;
    if (RegSetKeyValueA(HKEY_CURRENT_USER, desktops, name.c_str(), REG_SZ, "1024x700", 9) != ERROR_SUCCESS ||
        RegSetKeyValueA(HKEY_CURRENT_USER, (desktops + ("\\" + name)).c_str(), "EnableShell", REG_DWORD,
                        &enableShell, sizeof enableShell) != ERROR_SUCCESS ||
        (desktop = CreateDesktopA(name.c_str(), NULL, NULL, 0, GENERIC_ALL, &inherited)) == NULL ||
        !SetThreadDesktop(desktop) || !SetEnvironmentVariableA(DESKTOP_VARIABLE, name.c_str()))
    {
        std::fprintf(stderr, "could not make the desktop %s\n", name.c_str());
        return 1;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.lpDesktop = &name[0];
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    std::string commandLine = GetCommandLineA();
    DWORD code = 1;
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &process))
        std::fprintf(stderr, "could not start the tests in the desktop %s\n", name.c_str());
    else if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    return int(code);
}

int main(int argc, char **argv)
{
    const char *own = std::getenv(DESKTOP_VARIABLE);
    if (own == NULL)
        return RunInOwnDesktop();
    if (ThreadDesktopName() != own)
    {
        std::fprintf(stderr, "the tests were to run in the desktop %s, not in %s\n", own, ThreadDesktopName().c_str());
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
