#include "app.h"

void *MemAlloc(DWORD size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void MemFree(void *block)
{
    HeapFree(GetProcessHeap(), 0, block);
}
