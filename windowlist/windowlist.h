/* The list of windows the user can pin, and the tool dialog that shows it. */
#ifndef PINNIT_WINDOWLIST_H
#define PINNIT_WINDOWLIST_H

#include <windows.h>

void CreateWindowListDialog(HWND owner);
void ShowWindowList(void);

#endif
