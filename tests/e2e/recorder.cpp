// Stands in for the browser and the mail program during the end-to-end tests:
//   pinnit_recorder.exe LOGFILE WHAT
// appends WHAT and a line feed to LOGFILE, so a test reads what the shell was asked to open.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc != 3)
        return 2;
    HANDLE log = CreateFileA(__argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    std::string line = std::string(__argv[2]) + "\n";
    DWORD written = 0;
    BOOL ok = WriteFile(log, line.data(), DWORD(line.size()), &written, NULL);
    CloseHandle(log);
    return ok ? 0 : 1;
}
