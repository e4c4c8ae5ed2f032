#include "about.h"

void RunAboutBox(HWND)
{
}
