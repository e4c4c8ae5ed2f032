// Checks that a page fault reaches a 32-bit Windows program as an access
// violation it can catch, as it must when Wine's processes run under an
// emulator: exits with the code given on the command line only if it does.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static volatile DWORD g_exceptionCode; // code of the last exception dispatched

static LONG CALLBACK RecordException(EXCEPTION_POINTERS *info)
{
    g_exceptionCode = info->ExceptionRecord->ExceptionCode;
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: faultcheck EXITCODE\n");
        return 1;
    }
    AddVectoredExceptionHandler(1, RecordException);
    // The first page is never mapped: reading it faults, and the fault is caught.
    if (!IsBadReadPtr(reinterpret_cast<const void *>(16), 4) ||
        g_exceptionCode != EXCEPTION_ACCESS_VIOLATION) {
        fprintf(stderr, "faultcheck: a read of address 16 raised exception %08lx, not an access violation\n",
                g_exceptionCode);
        return 1;
    }
    return atoi(argv[1]);
}
