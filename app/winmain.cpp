#include <windows.h>

#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_hInstance = instance;
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    /* Without the main window no quit message could ever arrive. */
    HWND window = NULL;
    if (RegisterMainWindowClass() == 0 || (window = CreateMainWindow()) == NULL)
        return EXIT_STARTUP_FAILED;

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    /* A quit that another program posted, or a failing queue, ends the loop with
       the window still there: destroying it takes the icon out of the tray. */
    if (IsWindow(window))
        DestroyWindow(window);
    return got == 0 ? (int)msg.wParam : EXIT_STARTUP_FAILED;
}
