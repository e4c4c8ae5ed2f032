#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int);

/* pinnit calls nothing of the C runtime (its strings and memory go through
   KERNEL32), so the process starts here instead of in the runtime's start-up. */
extern "C" void WinMainCRTStartup(void)
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, GetCommandLineA(), SW_SHOWDEFAULT));
}
