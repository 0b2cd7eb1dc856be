// Another process's CPU time, handle count and private memory, read from the system process list.
// (GetProcessTimes and the handle count read far too little under Wine; the list does not.)
#pragma once
#include <windows.h>

struct ProcessFigures {
    bool found = false;
    ULONGLONG cpu100ns = 0;       // kernel + user time of the process
    ULONGLONG threadCpu100ns = 0; // the same summed over its threads
    ULONG handles = 0;
    ULONG threads = 0;
    SIZE_T privateBytes = 0; // committed private memory (the list's PagefileUsage)
};

ProcessFigures processFigures(DWORD pid);

// CPU time of a process, the larger of the process total and the sum over its threads, in ms.
double cpuMs(const ProcessFigures &figures);
