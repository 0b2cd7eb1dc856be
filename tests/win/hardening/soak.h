// Sizes and seeds of the long runs: the environment repeats or lengthens a run (tools/soak).
#pragma once
#include <windows.h>

#include <cstdlib>

// The number in environment variable `name`, or `fallback` when it is not set.
inline unsigned long envNumber(const char *name, unsigned long fallback) {
    char text[32] = {};
    DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    return n && n < sizeof text ? std::strtoul(text, nullptr, 10) : fallback;
}
