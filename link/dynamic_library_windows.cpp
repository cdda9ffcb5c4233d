#include "link/dynamic_library.h"

#include <windows.h>

// Looked for beside the program, then in the system folder (where FTDI's
// driver installer puts FTD2XX.dll); never in the current folder, which
// holds the operator's message files.
DynamicLibrary load_library(const char* path)
{
    return LoadLibraryExA(path, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* library_symbol(DynamicLibrary library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_library(DynamicLibrary library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}
