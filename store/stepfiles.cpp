// Step files (CFGn.BLC, shipped defaults CFGn.DEF) and the step names in "Lumora.ini".
#include "store/stepfiles.h"

#include "core/steps.h"
#include "state/operation.h"
#include "state/appstate.h"
#include "store/programfiles.h"
#include "store/schemes.h"

#include <cstdio>
#include <cstring>

// Room for a path of MAX_PATH and the longest message text around it.
constexpr size_t kMessageSize = MAX_PATH + 160;

static void showFileError(const char *format, const char *path) {
    char text[kMessageSize];
    snprintf(text, sizeof text, format, path);
    showError(text);
}

bool stepFilePath(unsigned step, const char *extension, char *out, size_t size) {
    char name[32];
    snprintf(name, sizeof name, "CFG%x.%s", step, extension);
    // The shipped defaults stay beside the program; the user's own files go where the user may write.
    if (strcmp(extension, "DEF") == 0)
        return programFilePath(name, out, size);
    return userFilePath(name, out, size);
}

// Reads the open file into slot the way three reads of 144, 4 and 8 bytes would; false after a message.
static bool readStepFile(HANDLE file, const char *path, StepSettings &slot) {
    uint8_t bytes[kStepFileSize];
    DWORD got = 0, chunk = 0;
    while (got < sizeof bytes && ReadFile(file, bytes + got, DWORD(sizeof bytes - got), &chunk, nullptr) && chunk)
        got += chunk;
    StepFileImage image;
    memcpy(&image, &slot, sizeof image);
    StepFileStatus status = decodeStepFile(bytes, got, image);
    memcpy(&slot, &image, sizeof image);
    switch (status) {
    case StepFileStatus::Ok:
        return true;
    case StepFileStatus::ShortPolicy:
        showFileError("%s\nRead Power policy file(POWER_POLICY) error!", path);
        return false;
    case StepFileStatus::ShortPanelLevel:
        showFileError("%s\nRead Power policy file(Panel_Level) error!", path);
        return false;
    case StepFileStatus::ShortScreenSaver:
        showFileError("%s\nRead Power policy file(Screen_Saver) error!", path);
        return false;
    }
    return false;
}

static bool replaceFile(const char *from, const char *to);

// A temporary file left by a crash may be read-only (copied from a read-only default): it must not
// block every later save and reset.
static void clearLeftover(const char *tmpPath) {
    SetFileAttributesA(tmpPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(tmpPath);
}

// Puts a copied file on the disk before it is renamed into place: a power loss must not leave an empty
// step file, which would never be copied again.
static bool flushFile(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

// Copies a shipped default over a step file through the temporary file beside it, so a crash or a
// failed copy never leaves half a step file. A read-only default must not make the step file
// read-only: later saves replace it.
static bool copyDefault(unsigned step, const char *defPath, const char *blcPath) {
    char tmpPath[MAX_PATH];
    if (!stepFilePath(step, "BL~", tmpPath, sizeof tmpPath))
        return false;
    clearLeftover(tmpPath);
    bool ok = CopyFileA(defPath, tmpPath, FALSE) && SetFileAttributesA(tmpPath, FILE_ATTRIBUTE_NORMAL) &&
              flushFile(tmpPath);
    if (!ok || !replaceFile(tmpPath, blcPath)) {
        DeleteFileA(tmpPath);
        return false;
    }
    return true;
}

int loadStepSettings(unsigned step, StepSettings &slot) {
    if (!schemes::readGlobalPolicy())
        return 0;
    char blcPath[MAX_PATH];
    if (!stepFilePath(step, "BLC", blcPath, sizeof blcPath))
        return 0;
    // A step outside 1-8 has no file of its own and no shipped default. Others may read the file
    // meanwhile; only a file that is not there counts as missing: one that is held by another program
    // or denied is a load error and stays as it is, the user's settings in it.
    HANDLE file = isStep(step) ? CreateFileA(blcPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        if (app.defaultCopyMark || !isStep(step) || GetLastError() != ERROR_FILE_NOT_FOUND) {
            showFileError("%s\nOpen Power policy file error!\n\nLoad default setting error!", blcPath);
            return 0;
        }
        char defPath[MAX_PATH];
        if (!stepFilePath(step, "DEF", defPath, sizeof defPath))
            return 0;
        // A copy that fails leaves the file missing, and the load below says so.
        copyDefault(step, defPath, blcPath);
        app.defaultCopyMark = 1;
        int loaded = loadStepSettings(step, slot);
        app.defaultCopyMark = 0;
        if (loaded) {
            char text[kMessageSize];
            snprintf(text, sizeof text, "%s\nOpen Power policy file error!\n\nLoad default setting!", blcPath);
            showWarning(text);
        }
        return loaded;
    }
    bool ok = readStepFile(file, blcPath, slot);
    CloseHandle(file);
    if (!ok)
        return 0;
    adjustLoadedPolicy((uint8_t *)&slot.policy, app.isXp != 0);
    return 1;
}

// Moves the finished temporary file over the step file in one step, so a crash leaves either file whole.
static bool replaceFile(const char *from, const char *to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    // The 9x family has no MoveFileExA: fall back to delete and rename.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    DeleteFileA(to);
    return MoveFileA(from, to) != 0;
}

// True when the file at `path` holds exactly `bytes`.
static bool fileHolds(const char *path, const uint8_t *bytes, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint8_t held[kStepFileSize + 1];
    DWORD got = 0;
    bool same = ReadFile(file, held, sizeof held, &got, nullptr) && got == size && memcmp(held, bytes, size) == 0;
    CloseHandle(file);
    return same;
}

int saveStepSettings(unsigned step, const StepSettings &slot) {
    if (!isStep(step))
        return 0;
    char blcPath[MAX_PATH], tmpPath[MAX_PATH];
    if (!stepFilePath(step, "BLC", blcPath, sizeof blcPath) || !stepFilePath(step, "BL~", tmpPath, sizeof tmpPath))
        return 0;
    StepFileImage image;
    memcpy(&image, &slot, sizeof image);
    uint8_t bytes[kStepFileSize];
    encodeStepFile(image, bytes);
    // Every step switch saves the step it leaves; most of the time nothing in it changed, and a file
    // that already holds these bytes needs no rewrite, flush and replace.
    if (fileHolds(blcPath, bytes, sizeof bytes))
        return 1;
    clearLeftover(tmpPath);
    HANDLE file = CreateFileA(tmpPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes, sizeof bytes, &written, nullptr) && written == sizeof bytes &&
              FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !replaceFile(tmpPath, blcPath)) {
        DeleteFileA(tmpPath);
        return 0;
    }
    return 1;
}

int restoreStepDefault(unsigned step) {
    if (!isStep(step))
        return 0;
    char defPath[MAX_PATH], blcPath[MAX_PATH];
    if (!stepFilePath(step, "DEF", defPath, sizeof defPath) || !stepFilePath(step, "BLC", blcPath, sizeof blcPath))
        return 0;
    if (!copyDefault(step, defPath, blcPath)) {
        showFileError("%s\nCopy default setting error!", defPath);
        return 0;
    }
    return 1;
}

void readStepName(unsigned step, char *name, size_t size) {
    char key[32];
    snprintf(key, sizeof key, "Step %d", int(step));
    GetPrivateProfileStringA("Common", key, key, name, DWORD(size), app.iniPath);
}

int writeStepName(unsigned step, const char *name) {
    char key[32];
    snprintf(key, sizeof key, "Step %d", int(step));
    return WritePrivateProfileStringA("Common", key, name, app.iniPath);
}
