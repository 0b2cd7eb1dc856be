// SetupGuard.dll: the setup's checks that NSIS cannot make safely by itself, called through the
// System plug-in. Each export answers a code; the setup says what it means to the user.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cwchar>

// Codes of GuardOpenFolder and GuardCheckHeld (0: the folder may be used).
enum FolderCode {
    kFolderUsable = 0,
    kFolderReparse = 1,  // the folder or a folder above it is a junction or link
    kFolderNotEmpty = 2, // exists, holds something and is not Kelvane's recorded folder
    kFolderOwner = 3,    // exists and belongs to neither the administrators nor SYSTEM
    kFolderCannot = 4,   // cannot be made, opened or written
    kFolderMoved = 5,    // the path no longer leads to the folder the setup holds
};

// Owner Administrators; protected from the parent's entries; Administrators and SYSTEM full control,
// Users read and run; each inherited by files and folders: what Program Files gives these three.
static const wchar_t kProtectedFolder[] = L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// `folder`, a backslash and the first `length` characters of `name` in `out` (`size` characters);
// false when it does not fit. (No printf family: the C runtime's would treble the library's size.)
static bool joinPath(wchar_t *out, size_t size, const wchar_t *folder, const wchar_t *name, size_t length) {
    size_t at = wcslen(folder);
    if (at + 1 + length >= size)
        return false;
    wmemcpy(out, folder, at);
    out[at++] = L'\\';
    wmemcpy(out + at, name, length);
    out[at + length] = 0;
    return true;
}

static bool isAdministratorsOrSystem(PSID sid) {
    return sid &&
           (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid));
}

// The full path without a closing backslash, in `out` (MAX_PATH wide characters); false when too long.
static bool fullPath(const wchar_t *path, wchar_t *out) {
    DWORD n = GetFullPathNameW(path, MAX_PATH, out, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return false;
    if (n > 3 && out[n - 1] == L'\\')
        out[n - 1] = 0;
    return true;
}

static bool samePath(const wchar_t *a, const wchar_t *b) {
    wchar_t fa[MAX_PATH], fb[MAX_PATH];
    return *b && fullPath(a, fa) && fullPath(b, fb) && lstrcmpiW(fa, fb) == 0;
}

// Opens a folder itself, never what a reparse point leads to, and keeps others from renaming or
// removing it while the handle lives.
static HANDLE openFolder(const wchar_t *path) {
    return CreateFileW(path, FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether the folder belongs to the administrators or SYSTEM; its owner's SID in `text` (`size`
// characters, "" when unknown).
static bool ownedByAdministrators(HANDLE folder, wchar_t *text, int size) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    wchar_t *sid = nullptr;
    text[0] = 0;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &sd) != ERROR_SUCCESS)
        return false;
    bool ok = isAdministratorsOrSystem(owner);
    if (ConvertSidToStringSidW(owner, &sid)) {
        lstrcpynW(text, sid, size);
        LocalFree(sid);
    }
    LocalFree(sd);
    return ok;
}

static bool isEmpty(const wchar_t *path) {
    wchar_t pattern[MAX_PATH + 2];
    if (!joinPath(pattern, MAX_PATH + 2, path, L"*", 1))
        return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool empty = true;
    do
        empty = wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0;
    while (empty && FindNextFileW(search, &found));
    FindClose(search);
    return empty;
}

// Whether `folder` leads to the folder `held` is open on.
static bool sameFolder(HANDLE held, const wchar_t *folder) {
    BY_HANDLE_FILE_INFORMATION was, now;
    HANDLE again = openFolder(folder);
    if (again == INVALID_HANDLE_VALUE)
        return false;
    bool same = GetFileInformationByHandle(held, &was) && GetFileInformationByHandle(again, &now) &&
                was.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                was.nFileIndexHigh == now.nFileIndexHigh && was.nFileIndexLow == now.nFileIndexLow;
    CloseHandle(again);
    return same;
}

// Removes the `made` innermost folders of the full `path`, each only if empty.
static void removeMade(wchar_t *path, int made) {
    for (; made > 0 && RemoveDirectoryW(path); --made) {
        wchar_t *last = wcsrchr(path, L'\\');
        if (!last)
            break;
        *last = 0;
    }
}

// 0 when the account is no administrator (a standard user, or one whose elevation was not asked
// for), 1 for an elevated administrator, 2 for SYSTEM.
extern "C" int __stdcall GuardAccount() {
    HANDLE token;
    int account = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        union {
            TOKEN_USER user;
            BYTE bytes[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
        } info;
        DWORD size;
        if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
            IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid))
            account = 2;
        CloseHandle(token);
    }
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    BOOL member = FALSE;
    // A token whose administrators group is only for denying (not elevated) is no member here.
    if (account == 0 && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) &&
        CheckTokenMembership(nullptr, sid, &member) && member)
        account = 1;
    return account;
}

// Makes `folder` usable and holds it open in `*held` (0 when refused). It must be a plain folder.
// Outside Program Files (`outside` 1) so must every folder above it; a missing folder, and each
// missing one above it, is made with the protected access list in the same call that makes it; and
// an existing one must be the `recorded` installation folder or be empty and the administrators' or
// SYSTEM's. `*made` counts the folders made, for GuardRelease; `owner` (`size` characters) receives
// the owner's SID, for GuardCheckHeld.
extern "C" int __stdcall GuardOpenFolder(const wchar_t *folder, const wchar_t *recorded, int outside,
                                         HANDLE *held, int *made, wchar_t *owner, int size) {
    *held = nullptr;
    *made = 0;
    wchar_t path[MAX_PATH];
    if (!fullPath(folder, path))
        return kFolderCannot;
    SECURITY_ATTRIBUTES protect = {sizeof protect, nullptr, FALSE};
    if (outside && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                       kProtectedFolder, SDDL_REVISION_1, &protect.lpSecurityDescriptor, nullptr))
        return kFolderCannot;
    int code = kFolderUsable;
    bool existed = true;
    // Each folder of the path below its root ("C:\" or "\\server\share\"), from the top.
    size_t root = 3;
    if (path[0] == L'\\' && path[1] == L'\\') {
        const wchar_t *server = wcschr(path + 2, L'\\'),
                      *share = server ? wcschr(server + 1, L'\\') : nullptr;
        root = share ? size_t(share - path) + 1 : wcslen(path) + 1;
    }
    for (size_t at = root; code == kFolderUsable && at <= wcslen(path); ++at) {
        if (path[at] != L'\\' && path[at] != 0)
            continue;
        wchar_t keep = path[at];
        path[at] = 0;
        DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (CreateDirectoryW(path, outside ? &protect : nullptr))
                ++*made, existed = false;
            else
                code = kFolderCannot;
        } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (outside || keep == 0)) {
            // In Program Files only administrators make folders; one moved by a junction is theirs.
            code = kFolderReparse;
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            code = kFolderCannot;
        }
        path[at] = keep;
    }
    LocalFree(protect.lpSecurityDescriptor);
    HANDLE handle = code == kFolderUsable ? openFolder(path) : INVALID_HANDLE_VALUE;
    if (code == kFolderUsable && handle == INVALID_HANDLE_VALUE)
        code = kFolderCannot;
    bool administrators = code == kFolderUsable && ownedByAdministrators(handle, owner, size);
    if (code == kFolderUsable && existed && outside && !samePath(path, recorded)) {
        if (!isEmpty(path))
            code = kFolderNotEmpty;
        else if (!administrators)
            code = kFolderOwner;
    }
    if (code == kFolderUsable) {
        // Files must be writable there, by this account.
        wchar_t probe[MAX_PATH + 16];
        HANDLE file = !joinPath(probe, MAX_PATH + 16, path, L"Kelvane.wr~", 11)
                          ? INVALID_HANDLE_VALUE
                          : CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            code = kFolderCannot;
        else
            CloseHandle(file);
    }
    if (code != kFolderUsable) {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        removeMade(path, *made);
        *made = 0;
        return code;
    }
    *held = handle;
    return kFolderUsable;
}

// Checked again right before the first file is written: `folder` still leads to the held folder, which
// is no reparse point and still has the `owner` GuardOpenFolder accepted.
extern "C" int __stdcall GuardCheckHeld(HANDLE held, const wchar_t *folder, const wchar_t *owner) {
    BY_HANDLE_FILE_INFORMATION was;
    if (!sameFolder(held, folder) || !GetFileInformationByHandle(held, &was))
        return kFolderMoved;
    if (was.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kFolderReparse;
    wchar_t ownerNow[SECURITY_MAX_SID_SIZE * 4];
    ownedByAdministrators(held, ownerNow, SECURITY_MAX_SID_SIZE * 4);
    if (!*ownerNow || lstrcmpW(ownerNow, owner) != 0)
        return kFolderOwner;
    return kFolderUsable;
}

// Lets go of the `held` folder and removes the `made` innermost folders of `folder` again, each only if
// empty, and only while `folder` still leads to the held one: what stands there now is not its own.
extern "C" void __stdcall GuardRelease(HANDLE held, const wchar_t *folder, int made) {
    wchar_t path[MAX_PATH];
    bool same = held && sameFolder(held, folder);
    if (held)
        CloseHandle(held);
    if (same && fullPath(folder, path))
        removeMade(path, made);
}

// The first of the files named in `names` (separated by '|') in `folder` that cannot be opened for
// writing without sharing, in `failed` (`size` characters); its error, 0 when each can be replaced.
// A running program, or any other handle, keeps its file from being opened so.
extern "C" DWORD __stdcall GuardFilesInUse(const wchar_t *folder, const wchar_t *names, wchar_t *failed,
                                           int size) {
    failed[0] = 0;
    for (const wchar_t *name = names; *name;) {
        const wchar_t *end = wcschr(name, L'|');
        int length = end ? int(end - name) : int(wcslen(name));
        wchar_t path[MAX_PATH + 1];
        if (!joinPath(path, MAX_PATH + 1, folder, name, length))
            return ERROR_FILENAME_EXCED_RANGE;
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) {
            lstrcpynW(failed, name, length + 1 < size ? length + 1 : size);
            return error;
        }
        name += length + (end ? 1 : 0);
    }
    return ERROR_SUCCESS;
}

// The number of another session in which a tray program runs, or -1. On Vista and later each program
// holds "Global\KelvaneScheme.<session>"; the process list finds one on any Windows.
extern "C" int __stdcall GuardProgramElsewhere() {
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    for (int session = 0; session < 64; ++session) {
        char name[] = "Global\\KelvaneScheme.00"; // the session's number in decimal, as the program writes it
        size_t end = sizeof name - 3;
        if (session >= 10)
            name[end++] = char('0' + session / 10);
        name[end++] = char('0' + session % 10);
        name[end] = 0;
        HANDLE mutex = DWORD(session) == own ? nullptr : OpenMutexA(SYNCHRONIZE, FALSE, name);
        if (mutex) {
            CloseHandle(mutex);
            return session;
        }
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int found = -1;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found < 0;
         more = Process32NextW(snapshot, &entry)) {
        DWORD session;
        if (lstrcmpiW(entry.szExeFile, L"Lumora.exe") == 0 &&
            ProcessIdToSessionId(entry.th32ProcessID, &session) && session != own)
            found = int(session);
    }
    CloseHandle(snapshot);
    return found;
}

// 1 when Windows is to rename or remove a file in `folder` at its next start: such a removal would
// also take the files of an installation made before then.
extern "C" int __stdcall GuardPendingRemovals(const wchar_t *folder) {
    wchar_t path[MAX_PATH];
    HKEY key;
    if (!fullPath(folder, path) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    // Sized by a first query: the list has no limit. Two terminators more end the last text and the
    // list within the buffer, should the value lack its own.
    DWORD bytes = 0, type = 0;
    wchar_t *list = nullptr;
    LONG result = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes);
    if (result == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        (list = static_cast<wchar_t *>(LocalAlloc(LMEM_ZEROINIT, bytes + 3 * sizeof(wchar_t)))) != nullptr)
        result = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                                  reinterpret_cast<BYTE *>(list), &bytes);
    RegCloseKey(key);
    if (!list || result != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        LocalFree(list);
        return 0;
    }
    list[bytes / sizeof(wchar_t)] = 0;
    list[bytes / sizeof(wchar_t) + 1] = 0;
    // Pairs of texts (a file, then its new name or nothing for a removal); empty texts among them.
    size_t length = wcslen(path), end = bytes / sizeof(wchar_t);
    int found = 0;
    for (size_t at = 0; at < end && !found; at += wcslen(list + at) + 1) {
        const wchar_t *file = list + at;
        if (*file == L'!')
            ++file;
        if (wcsncmp(file, L"\\??\\", 4) == 0)
            file += 4;
        if (_wcsnicmp(file, path, length) == 0 && file[length] == L'\\')
            found = 1;
    }
    LocalFree(list);
    return found;
}
