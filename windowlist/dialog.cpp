#include "windowlist.h"

void CreateWindowListDialog(HWND)
{
}

void ShowWindowList(void)
{
}
