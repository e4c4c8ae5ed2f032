/* Static text controls turned into links that open through the shell. */
#ifndef PINNIT_HYPERLINK_H
#define PINNIT_HYPERLINK_H

#include <windows.h>

/* The colour argument that asks AttachHyperlink for the usual link blue. */
#define LINK_COLOR_DEFAULT 0xFFFFFFFF
#define LINK_COLOR_BLUE    0x00FF0000
#define LINK_COLOR_VISITED 0x00800080

/* What a link control keeps: allocated when it is converted, freed when it is destroyed. */
struct LinkInfo
{
    char target[MAX_PATH]; /* what the shell opens; empty opens the control's text */
    WNDPROC prevWndProc;   /* the static's own procedure, which gets every message passed on */
    COLORREF color;        /* the colour the text is drawn in now */
    COLORREF visitedColor; /* the colour it takes once clicked */
};

/* Set by a press on a link, cleared once that link lets go of the mouse. */
extern int g_linkPressed;
/* A link's text, read for painting and for opening. */
extern char g_linkText[MAX_PATH];
/* The underlined font every link is drawn in; NULL until the first paint. */
extern HFONT g_linkFont;
/* The pointing hand shown over every link; NULL until first needed. */
extern HCURSOR g_linkCursor;

BOOL AttachHyperlink(HWND dialog, int controlId, LPCSTR target, COLORREF color);
LRESULT CALLBACK HyperlinkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void ReleaseHyperlinkResources(void);

UINT LinkDrawFormat(LONG style);
COLORREF LinkColor(COLORREF requested);
LPCSTR LinkToOpen(LPCSTR target, LPCSTR text);

#endif
