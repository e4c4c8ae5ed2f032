#include "windowlist.h"
#include "../app/app.h"
#include "../res/resource.h"

HWND g_hWindowListDlg;

/* Where a window of the frame's size touches the work area's bottom-right corner. */
POINT CornerPosition(const RECT *frame, const RECT *workArea)
{
    POINT at;
    at.x = workArea->right - (frame->right - frame->left);
    at.y = workArea->bottom - (frame->bottom - frame->top);
    return at;
}

void PlaceAtWorkAreaCorner(HWND dialog)
{
    RECT frame, workArea;
    GetWindowRect(dialog, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    POINT at = CornerPosition(&frame, &workArea);
    SetWindowPos(dialog, HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE);
}

/* The list is read afresh whenever the dialog is initialised, shown or hidden. */
INT_PTR CALLBACK WindowListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
    case WM_SHOWWINDOW:
        RebuildWindowList(dialog);
        PlaceAtWorkAreaCorner(dialog);
        return TRUE;

    case WM_CLOSE:
        ReleaseTopmostFlags();
        ShowWindow(dialog, SW_HIDE);
        return TRUE;

    case WM_COMMAND:
        if (HIWORD(wParam) == LBN_DBLCLK)
            ToggleSelectedRow();
        return FALSE;

    default:
        return FALSE;
    }
}

void CreateWindowListDialog(HWND owner)
{
    g_hWindowListDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_WINDOWLIST), owner,
                                          WindowListDlgProc, 0);
}

void ShowWindowList(void)
{
    ShowWindow(g_hWindowListDlg, SW_SHOW);
    SetForegroundWindow(g_hWindowListDlg);
    SetWindowPos(g_hWindowListDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    /* Rebuilds the list even when the dialog was already visible and ShowWindow sent nothing. */
    SendMessageA(g_hWindowListDlg, WM_SHOWWINDOW, 0, 0);
}
