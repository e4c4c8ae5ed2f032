#include "windowlist.h"
#include "../app/app.h"
#include "../res/resource.h"

HWND g_hWindowList;
int *g_topmostFlags;
int g_topmostFlagCount;

/* How often a title that keeps growing while it is read is read before it is taken cut. */
static const int TITLE_READ_ATTEMPTS = 3;

BOOL IsListedWindow(BOOL visible, int titleLength)
{
    return visible && titleLength > 0;
}

/* A row whose window is on top goes back among the others; any other goes on top. */
HWND ToggleInsertAfter(int topmostFlag)
{
    return topmostFlag ? HWND_NOTOPMOST : HWND_TOPMOST;
}

/* Another thread's window is restacked by that thread: asking it without waiting
   keeps pinnit responsive when that thread hangs. */
UINT ToggleFlags(BOOL otherThread)
{
    return SWP_NOMOVE | SWP_NOSIZE | (otherThread ? SWP_ASYNCWINDOWPOS : 0);
}

/* One byte more than the title needs shows whether the read got all of it: a
   title that grew since its length was read comes back cut, and is read again.
   One that grew before every read is taken as the last read gave it, cut to the
   length asked for, so that a window whose title never stops growing can still
   be pinned. A length reported larger than the title (as on a double-byte code
   page) only leaves room to spare. Returns NULL when the window has no title now. */
static char *ReadTitle(HWND window, int length)
{
    for (int attempt = 1; attempt <= TITLE_READ_ATTEMPTS && length > 0; attempt++)
    {
        char *title = (char *)MemAlloc(length + 2);
        if (title == NULL)
            return NULL;
        title[0] = '\0';
        int copied = GetWindowTextA(window, title, length + 2);
        if (copied > length && attempt == TITLE_READ_ATTEMPTS)
        {
            title[length] = '\0';
            return title;
        }
        if (copied > 0 && copied <= length)
            return title;
        MemFree(title);
        length = GetWindowTextLengthA(window);
    }
    return NULL;
}

BOOL CALLBACK AddWindowToList(HWND window, LPARAM listBox)
{
    HWND list = (HWND)listBox;
    BOOL visible = IsWindowVisible(window);
    /* A hidden window's title is not read: reading another program's costs a round trip. */
    int length = visible ? GetWindowTextLengthA(window) : 0;
    if (!IsListedWindow(visible, length))
        return TRUE;

    char *title = ReadTitle(window, length);
    if (title == NULL)
        return TRUE;
    LRESULT row = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)title);
    if (row >= 0)
        SendMessageA(list, LB_SETITEMDATA, row, (LPARAM)window);
    MemFree(title);
    return TRUE;
}

/* What the list box's row holds now: its window, and an FNV-1a hash of its text.
   FALSE when the text cannot be read. An ANSI list box may report more than the
   text's length (on a double-byte code page it keeps room for double-byte
   characters), never less: the text is what LB_GETTEXT copies. */
static BOOL ReadRow(LRESULT row, BuiltRow *now)
{
    now->window = (HWND)SendMessageA(g_hWindowList, LB_GETITEMDATA, row, 0);
    LRESULT length = SendMessageA(g_hWindowList, LB_GETTEXTLEN, row, 0);
    char *text = length >= 0 ? (char *)MemAlloc(length + 1) : NULL;
    if (text == NULL)
        return FALSE;
    LRESULT copied = SendMessageA(g_hWindowList, LB_GETTEXT, row, (LPARAM)text);
    now->textHash = 2166136261u;
    for (LRESULT i = 0; i < copied; i++)
        now->textHash = (now->textHash ^ (BYTE)text[i]) * 16777619u;
    MemFree(text);
    return copied >= 0 && copied <= length;
}

/* What each row of the last build was: in the flags' block, after the flags. */
static BuiltRow *BuiltRows(void)
{
    return (BuiltRow *)(g_topmostFlags + g_topmostFlagCount);
}

/* Each flag starts as the window's real state, so one toggle always flips it.
   A row whose text cannot be read is kept without its window, so never toggled. */
static void SeedBuiltRows(void)
{
    BuiltRow *rows = BuiltRows();
    for (int row = 0; row < g_topmostFlagCount; row++)
    {
        if (!ReadRow(row, &rows[row]))
            rows[row].window = NULL;
        LONG exStyle = GetWindowLongA(rows[row].window, GWL_EXSTYLE);
        g_topmostFlags[row] = (exStyle & WS_EX_TOPMOST) ? 1 : 0;
    }
}

/* The build's entry for the list box's row, or -1 when the build made no row with
   that window and that text: another program may have added, removed or changed
   rows since, and the list box sorts them in among the build's. */
static int BuiltRowAt(LRESULT listRow)
{
    BuiltRow now;
    if (!ReadRow(listRow, &now) || now.window == NULL)
        return -1;
    const BuiltRow *rows = BuiltRows();
    for (int row = 0; row < g_topmostFlagCount; row++)
        if (rows[row].window == now.window && rows[row].textHash == now.textHash)
            return row;
    return -1;
}

void RebuildWindowList(HWND dialog)
{
    if (g_hWindowList == NULL)
        g_hWindowList = GetDlgItem(dialog, IDC_WINDOWLIST);

    /* Repainting after every insert would make a long list many times slower to fill. */
    SendMessageA(g_hWindowList, WM_SETREDRAW, FALSE, 0);
    SendMessageA(g_hWindowList, LB_RESETCONTENT, 0, 0);
    EnumWindows(AddWindowToList, (LPARAM)g_hWindowList);
    SendMessageA(g_hWindowList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_hWindowList, NULL, TRUE);

    ReleaseTopmostFlags();
    int count = (int)SendMessageA(g_hWindowList, LB_GETCOUNT, 0, 0);
    if (count < 0)
        return;
    /* One block: the flags, then what each row was. */
    g_topmostFlags = (int *)MemAlloc(count * (sizeof(int) + sizeof(BuiltRow)));
    if (g_topmostFlags != NULL)
    {
        g_topmostFlagCount = count;
        SeedBuiltRows();
    }
}

void ToggleSelectedRow(void)
{
    LRESULT selected = SendMessageA(g_hWindowList, LB_GETCURSEL, 0, 0);
    if (g_topmostFlags == NULL || selected < 0)
        return;
    int row = BuiltRowAt(selected);
    if (row < 0)
        return;

    HWND window = BuiltRows()[row].window;
    BOOL otherThread = GetWindowThreadProcessId(window, NULL) != GetCurrentThreadId();
    SetWindowPos(window, ToggleInsertAfter(g_topmostFlags[row]), 0, 0, 0, 0,
                 ToggleFlags(otherThread));
    g_topmostFlags[row] = !g_topmostFlags[row];
}

void ReleaseTopmostFlags(void)
{
    if (g_topmostFlags != NULL)
    {
        MemFree(g_topmostFlags);
        g_topmostFlags = NULL;
        g_topmostFlagCount = 0;
    }
}
