/* The modal About box. */
#ifndef PINNIT_ABOUT_H
#define PINNIT_ABOUT_H

#include <windows.h>

void RunAboutBox(HWND owner);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
