// Counts what pinnit's memory helpers leave on the process heap.
#ifndef PINNIT_TESTS_HEAPCOUNT_H
#define PINNIT_TESTS_HEAPCOUNT_H

#include <windows.h>

#include <set>

#include "importhook.h"

// The blocks in use on the process heap, Wine's and pinnit's. A heap with a
// low-fragmentation front end (Wine 10's, as Windows') hands small blocks out
// of larger ones, and the walk shows only those.
inline int BusyHeapBlocks()
{
    HANDLE heap = GetProcessHeap();
    int busy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        busy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    HeapUnlock(heap);
    return busy;
}

namespace heapcount {

// Blocks that this executable's own code took from the process heap and has not
// given back: its calls go through its import table, which Wine's do not.
inline std::set<const void *> taken;
inline decltype(&HeapAlloc) realAlloc;
inline decltype(&HeapFree) realFree;

inline LPVOID WINAPI Alloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    LPVOID block = realAlloc(heap, flags, size);
    if (block != NULL && heap == GetProcessHeap())
        taken.insert(block);
    return block;
}

inline BOOL WINAPI Free(HANDLE heap, DWORD flags, LPVOID block)
{
    taken.erase(block);
    return realFree(heap, flags, block);
}

} // namespace heapcount

// The blocks that pinnit's code, linked into this executable, holds on the
// process heap, counted from the first call on; with a block given, only that one.
inline int OwnHeapBlocks(const void *only = nullptr)
{
    using namespace heapcount;
    static bool counting = (realAlloc = reinterpret_cast<decltype(&HeapAlloc)>(
                                RedirectImport("HeapAlloc", reinterpret_cast<void *>(Alloc)))) != nullptr &&
                           (realFree = reinterpret_cast<decltype(&HeapFree)>(
                                RedirectImport("HeapFree", reinterpret_cast<void *>(Free)))) != nullptr;
    if (!counting)
        return -1;
    return only == nullptr ? int(taken.size()) : int(taken.count(only));
}

#endif
