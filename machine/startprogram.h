// Starting another program, for the real seam and the simulated notebook alike.
#pragma once
#include <windows.h>

// Starts `commandLine` (CreateProcessA, shown as `show` asks) and returns at once, keeping no handle
// of it; FALSE when it could not be started.
BOOL startDetached(const char *commandLine, WORD show);
