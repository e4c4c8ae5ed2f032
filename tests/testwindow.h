// A top-level window of the test's own, destroyed with the object.
#ifndef PINNIT_TESTS_TESTWINDOW_H
#define PINNIT_TESTS_TESTWINDOW_H

#include <windows.h>

struct TestWindow
{
    HWND hwnd;

    explicit TestWindow(const char *title, bool visible = true, DWORD exStyle = 0,
                        RECT where = {-3000, -3000, -2900, -2900})
    {
        hwnd = CreateWindowExA(exStyle, "STATIC", title, WS_POPUP | (visible ? WS_VISIBLE : 0),
                               where.left, where.top, where.right - where.left,
                               where.bottom - where.top, NULL, NULL, NULL, NULL);
    }
    ~TestWindow() { DestroyWindow(hwnd); }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;
};

#endif
