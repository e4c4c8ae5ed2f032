/* The list of windows the user can pin, and the tool dialog that shows it. */
#ifndef PINNIT_WINDOWLIST_H
#define PINNIT_WINDOWLIST_H

#include <windows.h>

/* The list box of the window list dialog, found on the first build. */
extern HWND g_hWindowList;
/* Per row of the last build: 1 while the window is (or was last asked to be) topmost. */
extern int *g_topmostFlags;
/* What a row was when the build made it; kept in g_topmostFlags' block after the flags. */
struct BuiltRow
{
    HWND window;
    DWORD textHash;
};
/* The number of entries in g_topmostFlags; 0 while there is none. */
extern int g_topmostFlagCount;
/* The window list dialog, created hidden with the main window. */
extern HWND g_hWindowListDlg;

BOOL IsListedWindow(BOOL visible, int titleLength);
HWND ToggleInsertAfter(int topmostFlag);
UINT ToggleFlags(BOOL otherThread);
POINT CornerPosition(const RECT *frame, const RECT *workArea);

void RebuildWindowList(HWND dialog);
BOOL CALLBACK AddWindowToList(HWND window, LPARAM listBox);
void ToggleSelectedRow(void);
void ReleaseTopmostFlags(void);

INT_PTR CALLBACK WindowListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void CreateWindowListDialog(HWND owner);
void ShowWindowList(void);
void PlaceAtWorkAreaCorner(HWND dialog);

#endif
