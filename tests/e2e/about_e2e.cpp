// The About box of the real pinnit.exe, opened from its tray menu and used with real input.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "peimage.h"
#include "res/resource.h"
#include "fixture.h"
#include "shellopen.h"

namespace {

const COLORREF BLUE = RGB(0, 0, 255);
const COLORREF PURPLE = RGB(128, 0, 128);

// The screen's pixels inside the rectangle (screen coordinates), row by row from the top.
std::vector<COLORREF> ScreenPixels(const RECT &rect)
{
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // top row first
    std::vector<COLORREF> pixels(size_t(width) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    // A DIB's pixel holds blue in its low byte, a COLORREF red.
    for (COLORREF &pixel : pixels)
        pixel = RGB(GetBValue(pixel), GetGValue(pixel), GetRValue(pixel));
    return pixels;
}

// How a link control looks on screen in one link colour.
struct LinkLook
{
    int ink = 0;         // pixels exactly in the colour looked for
    int otherInk = 0;    // pixels exactly in the other link colour
    int face = 0;        // pixels in the button-face colour
    int pixels = 0;
    int inkWidth = 0;    // from the leftmost to the rightmost ink pixel
    int longestRun = 0;  // the longest run of ink along one row: the underline
};

LinkLook LookAt(HWND control, COLORREF ink, COLORREF otherInk)
{
    RECT rect;
    GetWindowRect(control, &rect);
    int width = rect.right - rect.left;
    std::vector<COLORREF> pixels = ScreenPixels(rect);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    LinkLook look;
    look.pixels = int(pixels.size());
    int left = width, right = -1;
    for (size_t row = 0; width > 0 && row < pixels.size() / width; row++)
    {
        int run = 0;
        for (int x = 0; x < width; x++)
        {
            COLORREF pixel = pixels[row * width + x];
            run = pixel == ink ? run + 1 : 0;
            look.longestRun = std::max(look.longestRun, run);
            if (pixel == ink)
            {
                look.ink++;
                left = std::min(left, x);
                right = std::max(right, x);
            }
            look.otherInk += pixel == otherInk;
            look.face += pixel == face;
        }
    }
    look.inkWidth = right - left + 1;
    return look;
}

bool LinkDrawn(HWND control)
{
    LinkLook look = LookAt(control, BLUE, PURPLE);
    return look.ink > 0 || look.otherInk > 0;
}

// "&About" is the last entry of the menu, just above its bottom edge. The box counts
// as open once a user could see both links, not merely once it is mapped.
HWND OpenAboutBox(const Pinnit &pinnit)
{
    pinnit.ClickIcon(true);
    HWND menu = WaitForVisibleWindow("#32768", pinnit.Pid());
    if (menu == NULL)
        return NULL;
    RECT rect;
    GetWindowRect(menu, &rect);
    POINT about = {(rect.left + rect.right) / 2, rect.bottom - 10};
    Click(about);
    HWND box = NULL;
    WaitUntil([&] {
        return (box = FindAboutBox(pinnit.Pid())) != NULL &&
               LinkDrawn(GetDlgItem(box, IDC_WEB_LINK)) && LinkDrawn(GetDlgItem(box, IDC_EMAIL_LINK));
    });
    return box;
}

void ExpectDrawnIn(HWND control, COLORREF ink, COLORREF otherInk, const char *colourName)
{
    SCOPED_TRACE("link \"" + WindowText(control) + "\" in " + colourName);
    LinkLook look;
    WaitUntil([&] {
        look = LookAt(control, ink, otherInk);
        return look.ink > 0 && look.otherInk == 0;
    });
    EXPECT_GT(look.ink, 0) << "no text in the colour";
    EXPECT_EQ(0, look.otherInk) << "pixels in the other link colour";
    EXPECT_GE(look.longestRun * 10, look.inkWidth * 9)
        << "not underlined: longest run " << look.longestRun << " of " << look.inkWidth;
    EXPECT_GE(look.face * 2, look.pixels) << "not on the button face: " << look.face << " of "
                                          << look.pixels << " pixels";
}

POINT OnTheText(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    POINT at = {rect.left + 6, (rect.top + rect.bottom) / 2};
    return at;
}

// On the About box's face, right of the link.
POINT BesideTheText(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    return POINT{rect.right + 20, (rect.top + rect.bottom) / 2};
}

using AboutE2E = PinnitTest;

} // namespace

TEST_F(AboutE2E, AboutFromTheMenuShowsBothLinksBlueAndUnderlined)
{
    HWND box = OpenAboutBox(pinnit);
    ASSERT_NE(nullptr, box) << "no About box after choosing About";
    EXPECT_FALSE(IsWindowEnabled(pinnit.MainWindow())) << "modal: its owner is disabled";
    for (int id : {IDC_WEB_LINK, IDC_EMAIL_LINK})
        ExpectDrawnIn(GetDlgItem(box, id), BLUE, PURPLE, "blue");
}

TEST_F(AboutE2E, EachLinkOpensTheAddressItShowsOncePerClickAndTurnsPurple)
{
    struct Case { int id; const char *scheme; int other; } const cases[] = {
        {IDC_WEB_LINK, "http://", IDC_EMAIL_LINK},
        {IDC_EMAIL_LINK, "mailto:", IDC_WEB_LINK},
    };
    ShellOpenRecorder recorder;
    ASSERT_TRUE(recorder.Registered());
    HWND box = OpenAboutBox(pinnit);
    ASSERT_NE(nullptr, box);

    size_t opened = 0;
    for (const Case &c : cases)
    {
        HWND link = GetDlgItem(box, c.id);
        std::string shown = WindowText(link);
        SCOPED_TRACE("clicking \"" + shown + "\"");
        Click(OnTheText(link));
        opened++;
        ExpectDrawnIn(link, PURPLE, BLUE, "purple");
        ASSERT_TRUE(WaitUntil([&] { return recorder.Opened().size() >= opened; }))
            << "the shell was asked to open nothing";
        EXPECT_EQ(c.scheme + shown, recorder.Opened().back());
        if (opened == 1)
            ExpectDrawnIn(GetDlgItem(box, c.other), BLUE, PURPLE, "blue, not yet clicked");
    }

    // A double-click opens once; a press dragged off the link opens nothing, nor
    // does a press from beside it let go on it.
    HWND web = GetDlgItem(box, IDC_WEB_LINK);
    DoubleClick(OnTheText(web));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Opened().size() > opened; })) << "a double-click opened nothing";
    opened++;
    Drag(OnTheText(web), BesideTheText(web));
    Drag(BesideTheText(web), OnTheText(web));
    WaitUntil([&] { return recorder.Opened().size() > opened; }, 2000);
    EXPECT_EQ(opened, recorder.Opened().size()) << "one open per click";
}

TEST_F(AboutE2E, EnterAndEscapeLeaveItOpenAltF4ClosesItAndItReopensBlue)
{
    ShellOpenRecorder recorder;
    HWND box = OpenAboutBox(pinnit);
    ASSERT_NE(nullptr, box);
    Click(OnTheText(GetDlgItem(box, IDC_WEB_LINK)));
    ExpectDrawnIn(GetDlgItem(box, IDC_WEB_LINK), PURPLE, BLUE, "purple");

    for (WORD key : {WORD(VK_RETURN), WORD(VK_ESCAPE)})
    {
        PressKey(key);
        EXPECT_FALSE(WaitUntil([&] { return !IsWindowVisible(box); }, 500))
            << (key == VK_RETURN ? "Enter" : "Escape") << " closed the About box";
    }

    PressKeys(VK_MENU, VK_F4);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "Alt+F4 left the About box open";
    EXPECT_TRUE(pinnit.Running());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(pinnit.MainWindow()) != FALSE; }));

    HWND again = OpenAboutBox(pinnit);
    ASSERT_NE(nullptr, again) << "no About box the second time";
    for (int id : {IDC_WEB_LINK, IDC_EMAIL_LINK})
        ExpectDrawnIn(GetDlgItem(again, id), BLUE, PURPLE, "blue again");
}
