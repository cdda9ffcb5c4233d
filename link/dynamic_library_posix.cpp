#include "link/dynamic_library.h"

#include <dlfcn.h>

DynamicLibrary load_library(const char* path)
{
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* library_symbol(DynamicLibrary library, const char* name)
{
    return dlsym(library, name);
}

void unload_library(DynamicLibrary library)
{
    dlclose(library);
}
