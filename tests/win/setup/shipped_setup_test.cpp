// The setup we ship (32-bit, the real Lumora.exe) on a machine without the maker's firmware library:
// it installs and uninstalls, and it starts the program without waiting for it.
#include "harness/msgbox.h"
#include "harness/notebook.h"
#include "lumora/program.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace {

const std::string kFolder = "C:\\Program Files\\Kelvane Shipped Setup\\";
const char kPathKey[] = "SOFTWARE\\Vosk\\Kelvane";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvane";
const char *const kFiles[] = {"Lumora.exe",  "CFG1.DEF",    "CFG8.DEF",       "CFG1.BLC",        "CFG8.BLC",
                              "Quellon.exe", "QUELLON.INI", "kelvanectl.exe", "kelvanectlw.exe", "Uninstall.exe"};

std::string shippedSetup() {
    std::string path = KELVANE_SHIPPED_SETUP;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string shortcut() {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder);
    return std::string(folder) + "\\Kelvane.lnk";
}

// Runs `commandLine` to its end; its exit code, or ~0 when it did not start or did not end in time.
DWORD runToEnd(const std::string &commandLine, DWORD timeoutMs = 60000) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, code); // a hung setup would keep the test run waiting
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// Whether a process runs an image whose name starts with `prefix` (the setup starts the program
// through the shell, and the uninstaller goes on as "Un_A.exe", so their ids are not known here).
bool running(const char *prefix) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = _strnicmp(entry.szExeFile, prefix, strlen(prefix)) == 0;
    CloseHandle(snapshot);
    return found;
}

void removeAll() {
    for (const char *file : kFiles)
        DeleteFileA((kFolder + file).c_str());
    for (const char *file :
         {"CFG2.DEF", "CFG3.DEF", "CFG4.DEF", "CFG5.DEF", "CFG6.DEF", "CFG7.DEF", "CFG2.BLC", "CFG3.BLC",
          "CFG4.BLC", "CFG5.BLC", "CFG6.BLC", "CFG7.BLC", "VKTMETHOD.dll"})
        DeleteFileA((kFolder + file).c_str());
    RemoveDirectoryA(kFolder.c_str());
    deleteRegTree(HKEY_LOCAL_MACHINE, kPathKey);
    deleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey);
    DeleteFileA(shortcut().c_str());
}

class ShippedSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        removeAll();
        resetNotebook();
    }
    void TearDown() override {
        // A program left with its message open (after a failure) is answered, so it ends.
        MessageBoxWatcher leftovers("Kelvane", IDOK);
        waitUntil([] { return !running("Lumora.exe"); }, 30000);
        removeAll();
    }
    static DWORD install() {
        return runToEnd("\"" + shippedSetup() + "\" /S /D=" + kFolder.substr(0, kFolder.size() - 1));
    }
};

TEST_F(ShippedSetup, InstallsSilentlyIntoAFolderWithBlanksAndUninstalls) {
    // The loader refuses the program for want of VKTMETHOD.dll, without a sign under Wine; that the
    // setup started it shows in the next test.
    ASSERT_EQ(install(), 0u);
    for (const char *file : kFiles)
        EXPECT_TRUE(fileExists(kFolder + file)) << file;
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPathKey, "Path"), kFolder + "Lumora.exe");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Kelvane");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), KELVANE_VERSION);
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"),
              kFolder.substr(0, kFolder.size() - 1));
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + kFolder + "Uninstall.exe\" /S");
    EXPECT_TRUE(fileExists(shortcut()));
    ASSERT_TRUE(waitUntil([] { return !running("Lumora.exe"); }, 30000)) << "the program still runs";

    ASSERT_EQ(runToEnd("\"" + kFolder + "Uninstall.exe\" /S"), 0u);
    // The uninstaller goes on from a copy of itself; its last act removes the uninstall entry.
    ASSERT_TRUE(waitUntil(
        [] {
            return !regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !running("Un_") &&
                   !running("Uninstall.exe");
        },
        60000));
    for (const char *file : {"Lumora.exe", "CFG1.DEF", "Quellon.exe", "kelvanectl.exe", "Uninstall.exe"})
        EXPECT_FALSE(fileExists(kFolder + file)) << file;
    EXPECT_TRUE(fileExists(kFolder + "CFG1.BLC")) << "a silent uninstall keeps the step files";
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
    EXPECT_FALSE(fileExists(shortcut()));
}

TEST_F(ShippedSetup, EndsWhileTheProgramShowsItsFirmwareMessage) {
    // A firmware library that refuses the utility lies in the folder: the program starts, says so and
    // waits for its box; the setup must not wait for the program.
    CreateDirectoryA(kFolder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((failingFirmwareDir() + "VKTMETHOD.dll").c_str(),
                          (kFolder + "VKTMETHOD.dll").c_str(), FALSE));
    ASSERT_EQ(install(), 0u) << "the setup did not end while the program showed its message";

    MessageBoxWatcher boxes("Kelvane", IDOK);
    ASSERT_TRUE(boxes.waitFor(1, 30000)) << "the program showed no message";
    EXPECT_EQ(boxes.seen()[0].text, "Current system do not support this utility.\nPorgram Stop !");
    EXPECT_TRUE(waitUntil([] { return !running("Lumora.exe"); }, 30000)) << "the program still runs";
}

} // namespace
