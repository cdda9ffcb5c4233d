#pragma once
// Test hook of the D2XX backend: the library it loads. nullptr restores the
// platform's default (libftd2xx.so, found on the loader's search path). A
// library already loaded is let go when no device of it is open.

void d2xx_set_library_path(const char* path);
