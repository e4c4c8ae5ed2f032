// Counts what pinnit's memory helpers leave on the process heap.
#ifndef PINNIT_TESTS_HEAPCOUNT_H
#define PINNIT_TESTS_HEAPCOUNT_H

#include <windows.h>

// The blocks in use on the process heap, where MemAlloc takes its memory from;
// with a block given, counts only that one.
inline int BusyHeapBlocks(const void *only = nullptr)
{
    HANDLE heap = GetProcessHeap();
    int busy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && (only == nullptr || entry.lpData == only))
            busy++;
    HeapUnlock(heap);
    return busy;
}

#endif
