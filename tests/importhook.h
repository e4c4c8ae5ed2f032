// Replaces what this executable's own code calls through its import table.
#ifndef PINNIT_TESTS_IMPORTHOOK_H
#define PINNIT_TESTS_IMPORTHOOK_H

#include <windows.h>

// Points this executable's import of the named function at hook; returns the function.
inline void *RedirectImport(const char *name, void *hook)
{
    BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(NULL));
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto *dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports); dll->Name != 0; dll++)
    {
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name, name) != 0)
                continue;
            DWORD protect;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protect);
            void *function = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<DWORD_PTR>(hook);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protect, &protect);
            return function;
        }
    }
    return nullptr;
}

// Points the import at the hook while it lives; original is what it pointed at before.
struct ImportRedirect
{
    const char *name;
    void *original;

    ImportRedirect(const char *function, void *hook) : name(function), original(RedirectImport(function, hook)) {}
    ~ImportRedirect()
    {
        if (original != nullptr)
            RedirectImport(name, original);
    }
    ImportRedirect(const ImportRedirect &) = delete;
    ImportRedirect &operator=(const ImportRedirect &) = delete;
};

#endif
