#pragma once
// Loading a shared library at run time: the one place that knows how the
// platform does it (dlopen on POSIX, LoadLibrary on Windows).

using DynamicLibrary = void*;

// nullptr when the library cannot be loaded.
DynamicLibrary load_library(const char* path);
// nullptr when the library has no such symbol.
void* library_symbol(DynamicLibrary library, const char* name);
void unload_library(DynamicLibrary library);
