// Reading one process's CPU time, handle and thread counts and private memory from NtQuerySystemInformation.
#include "processinfo.h"

#include <cstddef>
#include <vector>

namespace {

struct ThreadEntry {
    LARGE_INTEGER kernelTime, userTime, createTime;
    ULONG waitTime;
    void *startAddress;
    HANDLE processId, threadId;
    LONG priority, basePriority;
    ULONG contextSwitches, state, waitReason;
};

struct ProcessEntry {
    ULONG nextEntryOffset;
    ULONG numberOfThreads;
    LARGE_INTEGER workingSetPrivateSize;
    ULONG hardFaultCount, numberOfThreadsHighWatermark;
    ULONGLONG cycleTime;
    LARGE_INTEGER createTime, userTime, kernelTime;
    USHORT nameLength, nameMaximumLength;
    wchar_t *nameBuffer;
    LONG basePriority;
    HANDLE uniqueProcessId, inheritedFromUniqueProcessId;
    ULONG handleCount, sessionId;
    ULONG_PTR uniqueProcessKey;
    SIZE_T peakVirtualSize, virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSetSize, workingSetSize, quotaPeakPagedPoolUsage, quotaPagedPoolUsage,
        quotaPeakNonPagedPoolUsage, quotaNonPagedPoolUsage, pagefileUsage, peakPagefileUsage,
        privatePageCount;
    LARGE_INTEGER ioCounters[6];
    ThreadEntry threads[1];
};
#ifdef _WIN64
static_assert(offsetof(ProcessEntry, handleCount) == 0x60 && offsetof(ProcessEntry, threads) == 0x100,
              "the 64-bit layout of the system process list");
#endif

using QueryFn = LONG(WINAPI *)(ULONG, void *, ULONG, ULONG *);
constexpr ULONG kSystemProcessInformation = 5;

} // namespace

ProcessFigures processFigures(DWORD pid) {
    ProcessFigures figures;
    static QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return figures;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemProcessInformation, buffer.data(), ULONG(buffer.size()), &needed)) ==
           LONG(0xC0000004)) // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    if (status < 0)
        return figures;
    for (size_t offset = 0;;) {
        const ProcessEntry *entry = reinterpret_cast<const ProcessEntry *>(buffer.data() + offset);
        if (DWORD(ULONG_PTR(entry->uniqueProcessId)) == pid) {
            figures.found = true;
            figures.cpu100ns = ULONGLONG(entry->kernelTime.QuadPart + entry->userTime.QuadPart);
            figures.handles = entry->handleCount;
            figures.threads = entry->numberOfThreads;
            figures.privateBytes = entry->pagefileUsage;
            for (ULONG i = 0; i < entry->numberOfThreads; ++i)
                figures.threadCpu100ns +=
                    ULONGLONG(entry->threads[i].kernelTime.QuadPart + entry->threads[i].userTime.QuadPart);
            return figures;
        }
        if (!entry->nextEntryOffset)
            return figures;
        offset += entry->nextEntryOffset;
    }
}

double cpuMs(const ProcessFigures &figures) {
    ULONGLONG t = figures.cpu100ns > figures.threadCpu100ns ? figures.cpu100ns : figures.threadCpu100ns;
    return double(t) / 10000.0;
}
