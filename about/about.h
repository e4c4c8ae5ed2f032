/* The modal About box. */
#ifndef PINNIT_ABOUT_H
#define PINNIT_ABOUT_H

#include <windows.h>

void RunAboutBox(HWND owner);

#endif
