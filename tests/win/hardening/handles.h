// Handles a process holds right now, counted one by one from the system handle list.
#pragma once
#include <windows.h>

#include <string>

// Handles open in process `pid` (-1 when the list cannot be read). The process list's handle figure
// under Wine is the size of the handle table, which only grows, so it cannot show handles coming back.
long openHandles(DWORD pid);
// The same, counted by object type number ("type:count ...") to tell which kind grows.
std::string openHandlesByType(DWORD pid);
