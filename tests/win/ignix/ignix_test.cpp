// Ignix as the setup program uses it: loaded by path, exports called by name, under the real registry.
#include "harness/notebook.h"
#include "harness/testwindows.h"

#include <gtest/gtest.h>


namespace {

const char kKey[] = "SOFTWARE\\Vosk\\Kelvane";
typedef int (*Export)(void);

// Through void*, since the exports' own type differs from FARPROC's.
Export exportOf(HMODULE library, const char *name) {
    return reinterpret_cast<Export>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

class Ignix : public ::testing::Test {
  protected:
    void SetUp() override {
        deleteRegTree(HKEY_LOCAL_MACHINE, kKey);
        DeleteFileA(standinLog().c_str());
        library = LoadLibraryA((testFolder() + "Ignix.dll").c_str());
        ASSERT_NE(library, nullptr);
        runLumora = exportOf(library, "RunLumora");
        stopLumora = exportOf(library, "StopLumora");
        ASSERT_NE(runLumora, nullptr);
        ASSERT_NE(stopLumora, nullptr);
    }
    void TearDown() override {
        deleteRegTree(HKEY_LOCAL_MACHINE, kKey);
        if (library)
            FreeLibrary(library);
    }

    static std::string standinLog() { return testFolder() + "standin.log"; }
    static std::string standin() { return testFolder() + "ignix_standin.exe"; }

    static void setPath(const std::string &text, DWORD type = REG_SZ) {
        HKEY key;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        // Stored without a terminator: the library must cope with data that lacks one. The byte after
        // the data is not zero, or the registry would count a terminator in for a text value.
        std::string data = text + '#';
        RegSetValueExA(key, "Path", 0, type, reinterpret_cast<const BYTE *>(data.data()), DWORD(text.size()));
        RegCloseKey(key);
    }

    // The lines the stand-in wrote, once it has written `count` of them (fewer on time-out).
    static std::vector<std::string> standinStarts(size_t count) {
        std::vector<std::string> lines;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(50)) {
            lines.clear();
            std::string line;
            for (uint8_t b : fileBytes(standinLog()))
                if (b == '\n')
                    lines.push_back(line), line.clear();
                else
                    line += char(b);
            if (lines.size() >= count)
                break;
        }
        return lines;
    }

    HMODULE library = nullptr;
    Export runLumora = nullptr, stopLumora = nullptr;
};

// Leaves non-zero bytes on the stack where the library's buffers will lie, so that data without a
// terminator is not rescued by a zero that happens to follow it.
__attribute__((noinline)) void dirtyStack() {
    volatile char junk[8192];
    for (volatile char &c : junk)
        c = 'x';
}

} // namespace

TEST_F(Ignix, ExportsByNameAndOrdinalUnderItsOwnName) {
    EXPECT_EQ(exportOf(library, MAKEINTRESOURCEA(1)), runLumora);
    EXPECT_EQ(exportOf(library, MAKEINTRESOURCEA(2)), stopLumora);

    auto *base = reinterpret_cast<const BYTE *>(library);
    auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char *>(base + exports->Name), "Ignix.dll");
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
    EXPECT_EQ(exports->NumberOfNames, 2u);
}

TEST_F(Ignix, UnreadablePathGivesOneAndStartsNothing) {
    // The stand-in is named where the library must not look: the user's hive and another value.
    setRegText(HKEY_CURRENT_USER, kKey, "Path", standin());
    EXPECT_EQ(runLumora(), 1) << "no key";
    setRegText(HKEY_LOCAL_MACHINE, kKey, "Program", standin());
    EXPECT_EQ(runLumora(), 1) << "no value";
    setPath(std::string(261, 'x'));
    EXPECT_EQ(runLumora(), 1) << "longer than the buffer";
    // 260 bytes without a terminator fill the buffer and leave no room for one.
    setPath(std::string(MAX_PATH, 'x'));
    dirtyStack();
    EXPECT_EQ(runLumora(), 1) << "no room for the terminator";
    deleteRegTree(HKEY_CURRENT_USER, kKey);

    // Only the start below may reach the stand-in.
    setPath(standin());
    EXPECT_EQ(runLumora(), 0);
    std::vector<std::string> starts = standinStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].rfind("argc=1 ", 0), 0u) << starts[0];
}

TEST_F(Ignix, PathIsHandedToTheShellWithoutArguments) {
    setPath("C:\\nowhere\\Lumora.exe");
    EXPECT_EQ(runLumora(), 0) << "the shell's result is not examined";
    setPath(std::string(MAX_PATH - 1, 'x'));
    EXPECT_EQ(runLumora(), 0) << "259 bytes leave room for the terminator";

    // Data without a terminator and of another type is still one path, cut at its own length.
    setPath(standin(), REG_BINARY);
    dirtyStack();
    EXPECT_EQ(runLumora(), 0);
    std::string terminated = standin();
    terminated.push_back('\0');
    setPath(terminated);
    EXPECT_EQ(runLumora(), 0);
    std::vector<std::string> starts = standinStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    for (const std::string &start : starts)
        EXPECT_EQ(start.rfind("argc=1 ", 0), 0u) << start;
}

TEST_F(Ignix, StopPostsCloseOnlyToTheWindowWithClassAndTitle) {
    TestWindows windows;
    EXPECT_EQ(stopLumora(), 0) << "no window";
    size_t otherTitle = windows.open("LUMORA", "Lumora settings");
    size_t otherClass = windows.open("LUMORA_OTHER", "Lumora");
    EXPECT_EQ(stopLumora(), 0);
    size_t first = windows.open("LUMORA", "Lumora");
    size_t second = windows.open("LUMORA", "Lumora");
    EXPECT_EQ(stopLumora(), 0);
    ASSERT_TRUE(windows.sync());
    EXPECT_EQ(windows.closes(otherTitle), 0);
    EXPECT_EQ(windows.closes(otherClass), 0);
    EXPECT_EQ(windows.closes(first) + windows.closes(second), 1);
}
