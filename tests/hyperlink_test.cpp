// The hyperlink control on real static controls of a real dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "about/hyperlink.h"
#include "heapcount.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

INT_PTR CALLBACK PlainDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The About template without its dialog procedure: real statics, no links yet.
struct HostDialog
{
    HWND hwnd = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), NULL, PlainDlgProc, 0);
    ~HostDialog() { DestroyWindow(hwnd); }
    HWND Control(int id) const { return GetDlgItem(hwnd, id); }
};

const LinkInfo *RecordOf(HWND control)
{
    return reinterpret_cast<const LinkInfo *>(GetWindowLongA(control, GWL_USERDATA));
}

LRESULT HitTest(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    return SendMessageA(control, WM_NCHITTEST, 0, MAKELPARAM(rect.left + 1, rect.top + 1));
}

} // namespace

TEST(Hyperlink, RefusesAMissingControlOrAnOverLongTargetAndChangesNothing)
{
    struct Case { int id; size_t targetLength; } const cases[] = {
        {4242, 10},
        {IDC_WEB_LINK, MAX_PATH},
        {IDC_WEB_LINK, 4 * MAX_PATH},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE("control " + std::to_string(c.id) + ", target of " +
                     std::to_string(c.targetLength) + " characters");
        HostDialog dialog;
        HWND control = dialog.Control(IDC_WEB_LINK);
        LONG style = GetWindowLongA(control, GWL_STYLE);
        LONG proc = GetWindowLongA(control, GWL_WNDPROC);
        LRESULT hit = HitTest(control);
        std::string target(c.targetLength, 'x');
        int blocks = OwnHeapBlocks();
        ASSERT_GE(blocks, 0) << "the heap calls cannot be counted";

        EXPECT_FALSE(AttachHyperlink(dialog.hwnd, c.id, target.c_str(), LINK_COLOR_DEFAULT));
        EXPECT_EQ(blocks, OwnHeapBlocks()) << "a refused link allocates nothing";
        EXPECT_EQ(style, GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(proc, GetWindowLongA(control, GWL_WNDPROC));
        EXPECT_EQ(nullptr, RecordOf(control));
        EXPECT_EQ(hit, HitTest(control));
    }
}

TEST(Hyperlink, ConvertsKeepingTheTargetWholeAndTheColourAsked)
{
    const std::string longest(MAX_PATH - 1, 'y');
    struct Case { const char *target; COLORREF color; std::string keptTarget; COLORREF keptColor; } const cases[] = {
        {"http://pinnit.app/", LINK_COLOR_DEFAULT, "http://pinnit.app/", 0x00FF0000},
        {nullptr, 0x00123456, "", 0x00123456},
        {longest.c_str(), 0, longest, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.target ? c.target : "(null target)");
        HostDialog dialog;
        HWND control = dialog.Control(IDC_WEB_LINK);
        LONG style = GetWindowLongA(control, GWL_STYLE);
        WNDPROC staticProc = reinterpret_cast<WNDPROC>(GetWindowLongA(control, GWL_WNDPROC));
        EXPECT_EQ(0, style & SS_NOTIFY) << "the template has no SS_NOTIFY";
        EXPECT_NE(HTCLIENT, HitTest(control)) << "a plain static lets the mouse through";
        int blocks = OwnHeapBlocks();

        ASSERT_TRUE(AttachHyperlink(dialog.hwnd, IDC_WEB_LINK, c.target, c.color));
        EXPECT_EQ(blocks + 1, OwnHeapBlocks()) << "one record";
        EXPECT_EQ(style | SS_NOTIFY, GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(HTCLIENT, HitTest(control));
        const LinkInfo *link = RecordOf(control);
        ASSERT_NE(nullptr, link);
        EXPECT_EQ(c.keptTarget, link->target);
        EXPECT_EQ(staticProc, link->prevWndProc);
        EXPECT_EQ(c.keptColor, link->color);
        EXPECT_EQ(0x00800080u, link->visitedColor);
        EXPECT_EQ(reinterpret_cast<LONG>(HyperlinkWndProc), GetWindowLongA(control, GWL_WNDPROC));

        ASSERT_EQ(1, OwnHeapBlocks(link)) << "the record is a heap block";
        DestroyWindow(control);
        EXPECT_EQ(0, OwnHeapBlocks(link)) << "the record is freed with its control";
    }
}

TEST(Hyperlink, HandCursorIsTheTableWithItsHotSpotAtTheFingertip)
{
    // The rows as the table gives them, bytes in memory order.
    struct Rows { int first, last; unsigned char andPlane[4], xorPlane[4]; } const table[] = {
        {0, 0, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
        {1, 1, {0xF9, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
        {2, 5, {0xF0, 0xFF, 0xFF, 0xFF}, {0x06, 0x00, 0x00, 0x00}},
        {6, 6, {0xF0, 0x24, 0xFF, 0xFF}, {0x06, 0x00, 0x00, 0x00}},
        {7, 7, {0xF0, 0x00, 0x7F, 0xFF}, {0x06, 0xDB, 0x00, 0x00}},
        {8, 8, {0xC0, 0x00, 0x7F, 0xFF}, {0x06, 0xDB, 0x00, 0x00}},
        {9, 10, {0x80, 0x00, 0x7F, 0xFF}, {0x36, 0xDB, 0x00, 0x00}},
        {11, 11, {0x80, 0x00, 0x7F, 0xFF}, {0x37, 0xFF, 0x00, 0x00}},
        {12, 13, {0x80, 0x00, 0x7F, 0xFF}, {0x3F, 0xFF, 0x00, 0x00}},
        {14, 14, {0xC0, 0x00, 0x7F, 0xFF}, {0x1F, 0xFF, 0x00, 0x00}},
        {15, 15, {0xE0, 0x00, 0x7F, 0xFF}, {0x0F, 0xFF, 0x00, 0x00}},
        {16, 16, {0xF0, 0x00, 0xFF, 0xFF}, {0x07, 0xFE, 0x00, 0x00}},
        {17, 18, {0xF0, 0x00, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
        {19, 31, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
    };
    ReleaseHyperlinkResources();
    HostDialog dialog;
    ASSERT_TRUE(AttachHyperlink(dialog.hwnd, IDC_EMAIL_LINK, nullptr, LINK_COLOR_DEFAULT));
    HWND control = dialog.Control(IDC_EMAIL_LINK);
    EXPECT_TRUE(SendMessageA(control, WM_SETCURSOR, WPARAM(control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    ASSERT_NE(nullptr, g_linkCursor);

    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(g_linkCursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(5u, info.xHotspot);
    EXPECT_EQ(2u, info.yHotspot);
    EXPECT_EQ(nullptr, info.hbmColor) << "a monochrome cursor";
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    ASSERT_EQ(32, mask.bmWidth);
    ASSERT_EQ(64, mask.bmHeight) << "AND plane above the XOR plane";
    unsigned char bits[64 * 4] = {};
    ASSERT_EQ(LONG(sizeof bits), GetBitmapBits(info.hbmMask, sizeof bits, bits));
    DeleteObject(info.hbmMask);

    for (const Rows &rows : table)
        for (int row = rows.first; row <= rows.last; row++)
            for (int byte = 0; byte < 4; byte++)
            {
                SCOPED_TRACE("row " + std::to_string(row) + ", byte " + std::to_string(byte));
                EXPECT_EQ(rows.andPlane[byte], bits[row * 4 + byte]) << "AND plane";
                EXPECT_EQ(rows.xorPlane[byte], bits[(32 + row) * 4 + byte]) << "XOR plane";
            }
}

TEST(Hyperlink, DrawFormatTakesEachAlignmentBitOnItsOwn)
{
    struct Case { LONG style; UINT format; } const cases[] = {
        {SS_LEFT, DT_SINGLELINE},
        {SS_CENTER, DT_SINGLELINE | DT_CENTER},
        {SS_RIGHT, DT_SINGLELINE | DT_RIGHT},
        {SS_CENTERIMAGE, DT_SINGLELINE | DT_VCENTER},
        {SS_RIGHT | SS_CENTERIMAGE, DT_SINGLELINE | DT_RIGHT | DT_VCENTER},
        {SS_CENTER | SS_RIGHT, DT_SINGLELINE | DT_CENTER | DT_RIGHT},
        {SS_NOPREFIX | SS_NOTIFY | WS_CHILD | WS_VISIBLE | WS_GROUP, DT_SINGLELINE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.format, LinkDrawFormat(c.style)) << "style 0x" << std::hex << c.style;
}

TEST(Hyperlink, OpensTheTargetOrElseItsOwnText)
{
    struct Case { const char *target, *text, *opened; } const cases[] = {
        {"mailto:hi@pinnit.app", "hi@pinnit.app", "mailto:hi@pinnit.app"},
        {"", "Fish && &Chips", "Fish && &Chips"},
        {"", "", ""},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(c.opened, LinkToOpen(c.target, c.text)) << "target \"" << c.target << "\"";
}

TEST(Hyperlink, ReleasedFontAndCursorAreMadeAgainOnNextUse)
{
    LOGFONTA gui;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    for (int round = 0; round < 2; round++)
    {
        SCOPED_TRACE(round == 0 ? "first use" : "after a release");
        ReleaseHyperlinkResources();
        EXPECT_EQ(nullptr, g_linkFont);
        EXPECT_EQ(nullptr, g_linkCursor);

        HostDialog dialog;
        ASSERT_TRUE(AttachHyperlink(dialog.hwnd, IDC_WEB_LINK, nullptr, LINK_COLOR_DEFAULT));
        HWND control = dialog.Control(IDC_WEB_LINK);
        SendMessageA(control, WM_PAINT, 0, 0);
        SendMessageA(control, WM_SETCURSOR, WPARAM(control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ASSERT_NE(nullptr, g_linkFont);
        EXPECT_NE(nullptr, g_linkCursor);

        LOGFONTA font;
        ASSERT_EQ(int(sizeof font), GetObjectA(g_linkFont, sizeof font, &font));
        EXPECT_EQ(1, font.lfUnderline);
        EXPECT_EQ(gui.lfHeight, font.lfHeight) << "the GUI font, underlined";
        EXPECT_STREQ(gui.lfFaceName, font.lfFaceName);
    }
    HGDIOBJ font = g_linkFont;
    ReleaseHyperlinkResources();
    EXPECT_EQ(0u, GetObjectType(font)) << "the released font is deleted";
}
