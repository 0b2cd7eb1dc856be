// System libraries by their full path, so a planted DLL beside the program is never loaded instead.
#include "machine/systemlibrary.h"

#include <cstdio>

HMODULE loadSystemLibrary(const char *name) {
    char path[MAX_PATH + 32];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    if (snprintf(path + length, sizeof path - length, "\\%s", name) >= int(sizeof path - length))
        return nullptr;
    return LoadLibraryA(path);
}
