// Counting one process's open handles from the system handle list (NtQuerySystemInformation).
#include "handles.h"

#include <map>
#include <vector>

namespace {

struct HandleEntry {
    void *object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry handles[1];
};

using QueryFn = LONG(WINAPI *)(ULONG, void *, ULONG, ULONG *);
constexpr ULONG kSystemExtendedHandleInformation = 64;

// Calls `each` for every handle of process `pid`; false when the list cannot be read.
template <typename F> bool forEachHandle(DWORD pid, F each) {
    static QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return false;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(), ULONG(buffer.size()), &needed)) ==
           LONG(0xC0000004)) // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return false;
    const auto *list = reinterpret_cast<const HandleList *>(buffer.data());
    for (ULONG_PTR i = 0; i < list->count; ++i)
        if (list->handles[i].processId == pid)
            each(list->handles[i]);
    return true;
}

} // namespace

long openHandles(DWORD pid) {
    long count = 0;
    return forEachHandle(pid, [&](const HandleEntry &) { ++count; }) ? count : -1;
}

std::string openHandlesByType(DWORD pid) {
    std::map<unsigned, unsigned> byType;
    forEachHandle(pid, [&](const HandleEntry &entry) { ++byType[entry.objectTypeIndex]; });
    std::string text;
    for (const auto &[type, count] : byType)
        text += std::to_string(type) + ":" + std::to_string(count) + " ";
    return text;
}
