#include <windows.h>

#include "app.h"

/* Returned when pinnit cannot start or its message queue fails. */
static const int EXIT_STARTUP_FAILED = 1;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_hInstance = instance;
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    /* Without the main window no quit message could ever arrive. */
    if (RegisterMainWindowClass() == 0 || CreateMainWindow() == NULL)
        return EXIT_STARTUP_FAILED;

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0)
    {
        if (got == -1)
            return EXIT_STARTUP_FAILED;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
