// Each run of the end-to-end tests gets a Wine desktop of its own, as fresh as a
// user's session: the process started by the test command makes one with a
// taskbar and runs itself again inside it, passing its output and exit code on.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

const char DESKTOP_VARIABLE[] = "PINNIT_E2E_DESKTOP";
const char DESKTOPS_KEY[] = "Software\\Wine\\Explorer\\Desktops";

std::string ThreadDesktopName(void)
{
    char name[64] = "";
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, NULL);
    return name;
}

// Wine's desktop process reads the size of a named desktop, and whether it has a
// taskbar, from these values when it opens the desktop.
bool DescribeDesktop(const std::string &name)
{
    const DWORD enableShell = 1;
    return RegSetKeyValueA(HKEY_CURRENT_USER, DESKTOPS_KEY, name.c_str(), REG_SZ, "1024x700", 9) == ERROR_SUCCESS &&
           RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(DESKTOPS_KEY) + "\\" + name).c_str(), "EnableShell",
                           REG_DWORD, &enableShell, sizeof enableShell) == ERROR_SUCCESS;
}

void ForgetDesktop(const std::string &name)
{
    RegDeleteKeyValueA(HKEY_CURRENT_USER, DESKTOPS_KEY, name.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(DESKTOPS_KEY) + "\\" + name).c_str());
}

int RunInOwnDesktop(void)
{
    std::string name = "pinnit-e2e-" + std::to_string(GetCurrentProcessId());
    // Handed down, and this thread's too, so that all the new process's threads
    // belong to the desktop, not just its first: Wine gives the others the
    // desktop of an inherited handle or of the parent's thread.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HDESK desktop =
        DescribeDesktop(name) ? CreateDesktopA(name.c_str(), NULL, NULL, 0, GENERIC_ALL, &inherited) : NULL;
    if (desktop == NULL || !SetThreadDesktop(desktop) || !SetEnvironmentVariableA(DESKTOP_VARIABLE, name.c_str()))
    {
        std::fprintf(stderr, "could not make the desktop %s\n", name.c_str());
        ForgetDesktop(name);
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
    if (CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &process))
    {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    else
        std::fprintf(stderr, "could not start the tests in the desktop %s\n", name.c_str());
    ForgetDesktop(name);
    return int(code);
}

} // namespace

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
