// The About dialog's links, on the dialog built from pinnit's own template.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "importhook.h"
#include "about/about.h"
#include "about/hyperlink.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

struct AboutDialog
{
    HWND hwnd = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), NULL, AboutDlgProc, 0);
    ~AboutDialog() { DestroyWindow(hwnd); }
};

std::string TextOf(HWND control)
{
    char text[MAX_PATH] = "";
    GetWindowTextA(control, text, sizeof text);
    return text;
}

// Stands in for the shell: notes what pinnit asked for, and at which priority.
struct ShellRequest
{
    std::string file;
    ULONG mask;
    DWORD priority;
    bool restCleared;
} asked;

BOOL WINAPI RecordShellExecute(SHELLEXECUTEINFOA *request)
{
    bool cleared = !request->lpIDList && !request->lpClass && !request->hkeyClass && !request->dwHotKey &&
                   !request->hIcon && !request->hProcess && !request->hInstApp;
    asked = {request->lpFile, request->fMask, GetPriorityClass(GetCurrentProcess()), cleared};
    return TRUE;
}

// Fills the stack below the caller's frame, as earlier calls leave it.
__attribute__((noinline)) void DirtyTheStack()
{
    volatile char junk[16384];
    for (volatile char &byte : junk)
        byte = char(0xA5);
}

} // namespace

TEST(AboutBox, ALinkStartsItsProgramAtNormalPriorityAndPinnitStaysIdle)
{
    ImportRedirect shell("ShellExecuteExA", reinterpret_cast<void *>(RecordShellExecute));
    ASSERT_NE(nullptr, shell.original) << "links do not open through ShellExecuteExA";
    DWORD priority = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    AboutDialog dialog;
    HWND link = GetDlgItem(dialog.hwnd, IDC_WEB_LINK);
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    DirtyTheStack();
    SendMessageA(link, WM_LBUTTONUP, 0, 0);
    DWORD after = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), priority);

    EXPECT_EQ("http://pinnit.app/pinnit", asked.file);
    EXPECT_EQ(DWORD(NORMAL_PRIORITY_CLASS), asked.priority) << "what the shell starts would inherit idle";
    EXPECT_EQ(ULONG(SEE_MASK_NOASYNC), asked.mask & SEE_MASK_NOASYNC) << "the shell could start it later, when pinnit is idle again";
    EXPECT_EQ(DWORD(IDLE_PRIORITY_CLASS), after);
    EXPECT_TRUE(asked.restCleared) << "fields the request does not name hold what the stack held";
}

TEST(AboutBox, LinksOpenTheAddressesTheyShowAndShowThemWhole)
{
    struct Case { int id; const char *scheme; } const cases[] = {
        {IDC_WEB_LINK, "http://"},
        {IDC_EMAIL_LINK, "mailto:"},
    };
    AboutDialog dialog;
    ASSERT_NE(nullptr, dialog.hwnd);
    for (const Case &c : cases)
    {
        HWND control = GetDlgItem(dialog.hwnd, c.id);
        std::string shown = TextOf(control);
        SCOPED_TRACE("link \"" + shown + "\"");
        const LinkInfo *link = reinterpret_cast<const LinkInfo *>(GetWindowLongA(control, GWL_USERDATA));
        ASSERT_NE(nullptr, link) << "not converted";
        EXPECT_EQ(c.scheme + shown, link->target);
        EXPECT_EQ(0x00FF0000u, link->color);
        EXPECT_EQ(std::string::npos, shown.find('&')) << "what is drawn is what is stored";

        // The link font is the one it is drawn in, whatever font the dialog has.
        SendMessageA(control, WM_PAINT, 0, 0);
        HDC dc = GetDC(control);
        HGDIOBJ previous = SelectObject(dc, g_linkFont);
        SIZE extent = {};
        GetTextExtentPoint32A(dc, shown.c_str(), int(shown.size()), &extent);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        RECT client;
        GetClientRect(control, &client);
        EXPECT_LE(extent.cx, client.right) << "clipped";
        EXPECT_LE(extent.cy, client.bottom) << "clipped";
    }

    std::string web = TextOf(GetDlgItem(dialog.hwnd, IDC_WEB_LINK));
    std::string mail = TextOf(GetDlgItem(dialog.hwnd, IDC_EMAIL_LINK));
    std::string host = web.substr(0, web.find('/'));
    EXPECT_EQ(host + "/pinnit", web) << "the product's page on its host";
    EXPECT_EQ(host, mail.substr(mail.find('@') + 1)) << "the maker's address at the product's host";
}

TEST(AboutBox, ClosingReleasesTheLinkFontAndCursor)
{
    AboutDialog dialog;
    HWND control = GetDlgItem(dialog.hwnd, IDC_EMAIL_LINK);
    SendMessageA(control, WM_PAINT, 0, 0);
    SendMessageA(control, WM_SETCURSOR, WPARAM(control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    ASSERT_NE(nullptr, g_linkFont);
    ASSERT_NE(nullptr, g_linkCursor);

    SendMessageA(dialog.hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, g_linkFont);
    EXPECT_EQ(nullptr, g_linkCursor);
}
