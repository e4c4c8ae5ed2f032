#include <windows.h>

#include "about.h"
#include "hyperlink.h"
#include "../app/app.h"
#include "../res/resource.h"

/* The addresses the template's link texts show, each with its scheme. */
static const char WEB_TARGET[] = "http://pinnit.app/pinnit";
static const char EMAIL_TARGET[] = "mailto:hi@pinnit.app";

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
        AttachHyperlink(dialog, IDC_WEB_LINK, WEB_TARGET, LINK_COLOR_DEFAULT);
        AttachHyperlink(dialog, IDC_EMAIL_LINK, EMAIL_TARGET, LINK_COLOR_DEFAULT);
        return FALSE;

    /* The caption's close button, Close on the system menu and Alt+F4. */
    case WM_CLOSE:
        ReleaseHyperlinkResources();
        return EndDialog(dialog, 0);

    /* Enter and Escape arrive as IDOK and IDCANCEL; the box stays open for them. */
    case WM_COMMAND:
    default:
        return FALSE;
    }
}

void RunAboutBox(HWND owner)
{
    DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDlgProc, 0);
}
