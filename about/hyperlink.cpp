#include <windows.h>
#include <shellapi.h>

#include "hyperlink.h"
#include "../app/app.h"

/* Set by a press on a link, cleared once that link lets go of the mouse. */
int g_linkPressed;
/* A link's text, read for painting and for opening. */
char g_linkText[MAX_PATH];
/* The underlined font every link is drawn in; NULL until the first paint. */
HFONT g_linkFont;
/* The pointing hand shown over every link; NULL until first needed. */
HCURSOR g_linkCursor;

/* The hand is drawn here because IDC_HAND is not there on every Windows pinnit runs on.
   Four bytes a row, leftmost pixel in the top bit; AND 1 with XOR 0 shows the screen. */
/* clang-format off */
static const BYTE HAND_AND_PLANE[32 * 4] = {
    0xFF, 0xFF, 0xFF, 0xFF,  /* 0 */
    0xF9, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,  /* 5 */
    0xF0, 0x24, 0xFF, 0xFF,
    0xF0, 0x00, 0x7F, 0xFF,
    0xC0, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,  /* 10 */
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0xC0, 0x00, 0x7F, 0xFF,
    0xE0, 0x00, 0x7F, 0xFF,  /* 15 */
    0xF0, 0x00, 0xFF, 0xFF,
    0xF0, 0x00, 0xFF, 0xFF,
    0xF0, 0x00, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,  /* 20 */
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,  /* 25 */
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,  /* 30 */
    0xFF, 0xFF, 0xFF, 0xFF,
};

static const BYTE HAND_XOR_PLANE[32 * 4] = {
    0x00, 0x00, 0x00, 0x00,  /* 0 */
    0x00, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,  /* 5 */
    0x06, 0x00, 0x00, 0x00,
    0x06, 0xDB, 0x00, 0x00,
    0x06, 0xDB, 0x00, 0x00,
    0x36, 0xDB, 0x00, 0x00,
    0x36, 0xDB, 0x00, 0x00,  /* 10 */
    0x37, 0xFF, 0x00, 0x00,
    0x3F, 0xFF, 0x00, 0x00,
    0x3F, 0xFF, 0x00, 0x00,
    0x1F, 0xFF, 0x00, 0x00,
    0x0F, 0xFF, 0x00, 0x00,  /* 15 */
    0x07, 0xFE, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,  /* 20 */
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,  /* 25 */
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,  /* 30 */
    0x00, 0x00, 0x00, 0x00,
};
/* clang-format on */

/* The fingertip. */
static const int HAND_HOT_X = 5;
static const int HAND_HOT_Y = 2;

/* No DT_NOPREFIX: an '&' in a link marks a mnemonic as it does in any label. */
UINT LinkDrawFormat(LONG style)
{
    UINT format = DT_SINGLELINE;
    if (style & SS_CENTER)
        format |= DT_CENTER;
    if (style & SS_RIGHT)
        format |= DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        format |= DT_VCENTER;
    return format;
}

COLORREF LinkColor(COLORREF requested)
{
    return requested == LINK_COLOR_DEFAULT ? LINK_COLOR_BLUE : requested;
}

/* A link without a target opens its own text, ampersands and all. */
LPCSTR LinkToOpen(LPCSTR target, LPCSTR text)
{
    return target[0] != '\0' ? target : text;
}

BOOL AttachHyperlink(HWND dialog, int controlId, LPCSTR target, COLORREF color)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == NULL)
        return FALSE;
    /* The record holds the target whole; a longer one would run past it. */
    if (target != NULL && lstrlenA(target) >= MAX_PATH)
        return FALSE;
    LinkInfo *link = (LinkInfo *)MemAlloc(sizeof *link);
    if (link == NULL)
        return FALSE;

    /* Without SS_NOTIFY a static is transparent to the mouse. */
    SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) | SS_NOTIFY);
    if (target != NULL)
        lstrcpyA(link->target, target);
    else
        link->target[0] = '\0';
    link->color = LinkColor(color);
    link->visitedColor = LINK_COLOR_VISITED;

    /* HyperlinkWndProc needs the record from its first message on, and nothing
       between these two calls can send the control one. */
    link->prevWndProc = (WNDPROC)SetWindowLongA(control, GWL_WNDPROC, (LONG)HyperlinkWndProc);
    SetWindowLongA(control, GWL_USERDATA, (LONG)link);
    return TRUE;
}

static HFONT CreateLinkFont(void)
{
    LOGFONTA font;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfUnderline = TRUE;
    return CreateFontIndirectA(&font);
}

/* Every link is drawn in the shared font, whatever font the dialog gave the control. */
static void PaintLink(HWND hwnd, const LinkInfo *link)
{
    UINT format = LinkDrawFormat(GetWindowLongA(hwnd, GWL_STYLE));
    RECT rect;
    GetClientRect(hwnd, &rect);

    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    SetTextColor(dc, link->color);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    if (g_linkFont == NULL)
        g_linkFont = CreateLinkFont();
    HGDIOBJ previousFont = SelectObject(dc, g_linkFont);
    GetWindowTextA(hwnd, g_linkText, sizeof g_linkText);
    DrawTextA(dc, g_linkText, -1, &rect, format);
    SelectObject(dc, previousFont);
    EndPaint(hwnd, &ps);
}

static void ShowLinkCursor(void)
{
    if (g_linkCursor == NULL)
        g_linkCursor = CreateCursor(GetModuleHandleA(NULL), HAND_HOT_X, HAND_HOT_Y, 32, 32,
                                    HAND_AND_PLANE, HAND_XOR_PLANE);
    SetCursor(g_linkCursor);
}

/* A process takes its creator's idle priority class unless told otherwise, and so
   would the browser or mail program a link starts, with everything it starts in
   turn. So pinnit is at normal priority while the shell runs the request, and
   the shell is told to have created whatever it starts before it returns (it may
   otherwise finish on a thread of its own, or over DDE, later). */
static void OpenWithTheShell(LPCSTR target)
{
    /* Cleared first: no field holds what the stack held, whichever the shell reads. */
    SHELLEXECUTEINFOA request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOASYNC;
    request.lpVerb = "open";
    request.lpFile = target;
    request.nShow = SW_SHOWNORMAL;

    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    ShellExecuteExA(&request);
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
}

/* Whether a release opens the link: only the release of a press the link saw,
   over the link. The link lets go of the mouse either way; no other window can
   hold it while a release comes to the link. */
static BOOL ReleaseOpensLink(HWND hwnd, LPARAM lParam)
{
    RECT client;
    int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
    GetClientRect(hwnd, &client);
    BOOL opens = g_linkPressed && x >= 0 && y >= 0 && x < client.right && y < client.bottom;
    ReleaseCapture();
    return opens;
}

static void OpenLink(HWND hwnd, LinkInfo *link)
{
    link->color = link->visitedColor;
    g_linkPressed = 0;
    /* The shell may take a while to start a browser; the click shows at once. */
    InvalidateRect(hwnd, NULL, FALSE);
    UpdateWindow(hwnd);
    GetWindowTextA(hwnd, g_linkText, sizeof g_linkText);
    OpenWithTheShell(LinkToOpen(link->target, g_linkText));
}

LRESULT CALLBACK HyperlinkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LinkInfo *link = (LinkInfo *)GetWindowLongA(hwnd, GWL_USERDATA);
    WNDPROC prevWndProc = link->prevWndProc;
    LRESULT result;

    switch (message)
    {
    case WM_SETTEXT:
        result = CallWindowProcA(prevWndProc, hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, NULL, FALSE);
        return result;

    case WM_PAINT:
        PaintLink(hwnd, link);
        return 0;

    case WM_SETCURSOR:
        ShowLinkCursor();
        return TRUE;

    /* A static is normally transparent to hit testing. SS_NOTIFY already makes it
       answer HTCLIENT; the link answers so itself, whatever its style becomes. */
    case WM_NCHITTEST:
        return HTCLIENT;

    case WM_NCDESTROY:
        MemFree(link);
        break;

    /* The link holds the mouse from the press on, as a button does, so that the
       release comes to it wherever it lands: a press dragged off and let go
       elsewhere opens nothing, and is not left pending for a later release. */
    case WM_LBUTTONDOWN:
        g_linkPressed = 1;
        SetCapture(hwnd);
        break;

    case WM_CAPTURECHANGED:
        g_linkPressed = 0;
        break;

    /* A double-click's second press comes as WM_LBUTTONDBLCLK, so it opens nothing more. */
    case WM_LBUTTONUP:
        if (ReleaseOpensLink(hwnd, lParam))
            OpenLink(hwnd, link);
        break;

    default:
        break;
    }
    return CallWindowProcA(prevWndProc, hwnd, message, wParam, lParam);
}

void ReleaseHyperlinkResources(void)
{
    if (g_linkFont != NULL)
    {
        DeleteObject(g_linkFont);
        g_linkFont = NULL;
    }
    if (g_linkCursor != NULL)
    {
        DestroyCursor(g_linkCursor);
        g_linkCursor = NULL;
    }
}
