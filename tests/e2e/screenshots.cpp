// Takes the README's pictures from a real run: the window list at the corner of
// the desktop, and the About box. Writes list.bmp and about.bmp into the folder it
// is given and prints each picture's crop as "NAME WIDTHxHEIGHT+LEFT+TOP".
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "rig.h"
#include "shellopen.h"
#include "testwindow.h"

namespace {

// The frame with a margin of desktop around it, kept on the screen.
void PrintCrop(const char *name, RECT frame, int margin)
{
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT crop = {frame.left - margin, frame.top - margin, frame.right + margin, frame.bottom + margin};
    IntersectRect(&crop, &crop, &screen);
    std::printf("%s %ldx%ld+%ld+%ld\n", name, crop.right - crop.left, crop.bottom - crop.top, crop.left, crop.top);
}

// Writes the whole screen as a 24-bit BMP file, from a DIB section that holds the
// pixels as the file does.
bool SaveScreenshot(const std::string &path)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD size = ((width * 3 + 3) & ~3) * height, offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER file = {0x4D42, offset + size, 0, 0, offset};
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HBITMAP dib = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits, NULL, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, dib);
    bool copied = dib != NULL && BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) && GdiFlush();
    std::ofstream out(path, std::ios::binary);
    if (copied)
        out.write(reinterpret_cast<const char *>(&file), sizeof file)
            .write(reinterpret_cast<const char *>(&info), sizeof info)
            .write(static_cast<const char *>(bits), size);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return copied && out.good();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const std::string folder = argv[1];

    // Windows for the list to show, as a user's desktop would have them.
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (const char *title : {"Budget 2027.ods - LibreOffice Calc", "Inbox - Mail", "notes.txt - Notepad",
                              "Video call", "Downloads"})
        windows.push_back(std::make_unique<TestWindow>(title, true, 0, RECT{-3000, -3000, -2900, -2900}));

    Pinnit pinnit;
    if (!pinnit.Start())
        return 1;
    HWND list = pinnit.ShowList();
    if (list == NULL)
        return 1;
    MoveTo(POINT{10, 10});
    RECT frame = pinnit.ListFrame();
    frame.bottom = GetSystemMetrics(SM_CYSCREEN);
    if (!SaveScreenshot(folder + "\\list.bmp"))
        return 1;
    PrintCrop("list", frame, 60);

    Click(CloseButtonPoint(list));
    PostMessageA(pinnit.MainWindow(), WM_COMMAND, IDM_ABOUT, 0);
    HWND about = NULL;
    if (!WaitUntil([&] { return (about = FindAboutBox(pinnit.Pid())) != NULL; }))
        return 1;
    MoveTo(POINT{10, 10});
    GetWindowRect(about, &frame);
    if (!SaveScreenshot(folder + "\\about.bmp"))
        return 1;
    PrintCrop("about", frame, 20);
    return 0;
}
