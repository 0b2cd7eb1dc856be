// System libraries loaded from the system folder only, never from the program's folder or the path.
#pragma once
#include <windows.h>

// The library `name` (e.g. "powrprof.dll") from GetSystemDirectoryA; null when it is not there.
HMODULE loadSystemLibrary(const char *name);
