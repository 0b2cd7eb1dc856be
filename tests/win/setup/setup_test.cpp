// The setup program and the control command as administrators and users meet them: install, upgrade,
// uninstall and switching steps, run from outside against the simulated notebook's Lumora.exe.
#include "harness/notebook.h"
#include "harness/testwindows.h"
#include "lumora/program.h"
#include "sim/simstate.h"

#include <gtest/gtest.h>
#include <memory>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace {

const std::string kInstallDir = "C:\\Program Files\\Kelvane Test Folder\\";
const std::string kOutsideDir = "C:\\Kelvane Test Folder\\"; // outside Program Files
const char kPathKey[] = "SOFTWARE\\Vosk\\Kelvane";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvane";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char *const kInstalledFiles[] = {
    "Lumora.exe", "CFG1.DEF", "CFG2.DEF",    "CFG3.DEF",    "CFG4.DEF",       "CFG5.DEF",     "CFG6.DEF",
    "CFG7.DEF",   "CFG8.DEF", "Quellon.exe", "QUELLON.INI", "kelvanectl.exe", "kelvanectlw.exe", "Uninstall.exe"};

std::string setupExe() {
    std::string path = KELVANE_SETUP;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string shortcutPath() {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder);
    return std::string(folder) + "\\Kelvane.lnk";
}

// Runs `commandLine` to its end and returns its exit code (~0 when it did not start or end in
// time); what it writes to its console goes to `output` when one is given.
DWORD run(const std::string &commandLine, std::string *output = nullptr, DWORD timeoutMs = 60000,
          DWORD *pid = nullptr, const char *desktop = nullptr) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output && !CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return ~0u;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.lpDesktop = const_cast<char *>(desktop);
    if (output) {
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = writeEnd;
    }
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, output != nullptr, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &si, &pi);
    if (output) {
        CloseHandle(writeEnd);
        if (started) {
            char buffer[512];
            DWORD got;
            while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
                output->append(buffer, got);
        }
        CloseHandle(readEnd);
    }
    if (!started)
        return ~0u;
    if (pid)
        *pid = pi.dwProcessId;
    DWORD code = ~0u;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD runSetup(const std::string &folder, DWORD *pid = nullptr, const char *desktop = nullptr) {
    // /D= takes the rest of the line, blanks included, without quotes.
    return run("\"" + setupExe() + "\" /S /D=" + folder.substr(0, folder.size() - 1), nullptr, 60000, pid,
               desktop);
}

// While it lives, Wine reports `version` ("win10") to the setup, its uninstaller and the copy the
// uninstaller runs from, as it does for any program by its name.
class SetupVersion {
  public:
    explicit SetupVersion(const char *version) {
        for (const char *name : kNames)
            setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kAppDefaults) + name).c_str(), "Version",
                                 version);
    }
    ~SetupVersion() {
        for (const char *name : kNames)
            deleteRegTree(HKEY_CURRENT_USER, (std::string(kAppDefaults) + name).c_str());
    }

  private:
    static constexpr const char *kAppDefaults = "Software\\Wine\\AppDefaults\\";
    static constexpr const char *kNames[] = {"KelvaneSetup.exe", "Uninstall.exe", "Un.exe"};
};

std::string userFolder() {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder);
    return std::string(folder) + "\\Kelvane\\";
}

// Runs the setup with Ignix.dll barred from loading, wherever it lies (Wine's own override for the
// setup program; the empty text disables the library).
DWORD runSetupWithoutIgnix(const std::string &folder) {
    const char key[] = "Software\\Wine\\AppDefaults\\KelvaneSetup.exe";
    setRegText(HKEY_CURRENT_USER, (std::string(key) + "\\DllOverrides").c_str(), "*ignix", "");
    DWORD code = runSetup(folder);
    deleteRegTree(HKEY_CURRENT_USER, key);
    return code;
}

std::string fileText(const std::string &path) {
    std::vector<uint8_t> bytes = fileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The files Windows is to remove at its next start, as MoveFileEx records them.
std::string pendingRemovals() {
    char data[4096] = {};
    DWORD size = sizeof data - 2;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE *>(data),
                         &size) != ERROR_SUCCESS)
        size = 0;
    RegCloseKey(key);
    std::string text(data, size);
    for (char &c : text)
        if (c == '\0')
            c = '|';
    return text;
}

void clearPendingRemovals() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

DWORD ctl(const std::string &arguments, std::string *output) {
    output->clear();
    return run("\"" + kInstallDir + "kelvanectl.exe\" " + arguments, output);
}

// The running tray program: its process id (0 when none) and the file it was started from.
DWORD programPid() {
    HWND window = FindWindowA("LUMORA", "Lumora");
    DWORD pid = 0;
    if (window)
        GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::string imageOf(DWORD pid) {
    char path[MAX_PATH] = {};
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process) {
        GetModuleFileNameExA(process, nullptr, path, sizeof path);
        CloseHandle(process);
    }
    return path;
}

// Waits until the installed program runs and has applied its step (its scheme is active).
bool installedProgramReady() {
    return waitUntil(
        [] {
            DWORD pid = programPid();
            return pid && _stricmp(imageOf(pid).c_str(), (kInstallDir + "Lumora.exe").c_str()) == 0 &&
                   regText(HKEY_CURRENT_USER, "Software\\KELVANE", "Power_Scheme_No") == activeSchemeText();
        },
        30000);
}

// The first running process `matches` takes (a PROCESSENTRY32), or an entry with process id 0.
template <typename Matches> PROCESSENTRY32 findProcess(Matches matches) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (matches(entry)) {
            CloseHandle(snapshot);
            return entry;
        }
    CloseHandle(snapshot);
    return PROCESSENTRY32{};
}

// The parent of a running Lumora.exe started from the installation folder; 0 when none runs.
DWORD installedProgramsParent() {
    return findProcess([](const PROCESSENTRY32 &e) {
               return _stricmp(e.szExeFile, "Lumora.exe") == 0 &&
                      _stricmp(imageOf(e.th32ProcessID).c_str(), (kInstallDir + "Lumora.exe").c_str()) == 0;
           }).th32ParentProcessID;
}

bool uninstallerRunning() {
    return findProcess([](const PROCESSENTRY32 &e) {
               return _strnicmp(e.szExeFile, "Un_", 3) == 0 || _stricmp(e.szExeFile, "Un.exe") == 0 ||
                      _stricmp(e.szExeFile, "Uninstall.exe") == 0;
           }).th32ProcessID != 0;
}

// Whether `parent` started an explorer.exe that still runs (Wine's stays once started).
bool startedExplorer(DWORD parent) {
    return findProcess([&](const PROCESSENTRY32 &e) {
               return e.th32ParentProcessID == parent && _stricmp(e.szExeFile, "explorer.exe") == 0;
           }).th32ProcessID != 0;
}

void removeInstallation() {
    for (DWORD pid, tries = 0; (pid = programPid()) != 0 && pid != GetCurrentProcessId() && tries < 3;
         ++tries) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        PostMessageA(FindWindowA("LUMORA", "Lumora"), WM_CLOSE, 0, 0);
        if (process && WaitForSingleObject(process, 15000) != WAIT_OBJECT_0)
            TerminateProcess(process, 1);
        if (process) {
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    for (const std::string &folder : {kInstallDir, kOutsideDir}) {
        for (const char *file : kInstalledFiles)
            DeleteFileA((folder + file).c_str());
        for (const char *file : {"CFG1.BLC", "CFG2.BLC", "CFG3.BLC", "CFG4.BLC", "CFG5.BLC", "CFG6.BLC",
                                 "CFG7.BLC", "CFG8.BLC", "Lumora.ini"})
            DeleteFileA((folder + file).c_str());
        RemoveDirectoryA(folder.c_str());
    }
    deleteRegTree(HKEY_LOCAL_MACHINE, kPathKey);
    deleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey);
    HKEY run;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Kelvane");
        RegCloseKey(run);
    }
    DeleteFileA(shortcutPath().c_str());
    clearPendingRemovals();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Kelvane");
        RegCloseKey(run);
    }
    // What the test and, on NT 6+, the program leave in the user's folder.
    for (int step = 1; step <= 8; ++step)
        for (const char *extension : {".BLC", ".BL~"})
            DeleteFileA((userFolder() + "CFG" + std::to_string(step) + extension).c_str());
    DeleteFileA((userFolder() + "Lumora.ini").c_str());
    RemoveDirectoryA(userFolder().c_str());
}

// The user's own settings, as a user leaves them after renaming and editing a step.
const std::vector<uint8_t> userStepFile(156, 0x5A);
const char kUserNames[] = "[Common]\r\nStep 3=Quiet\r\n";

void writeUserSettings() {
    writeFile(kInstallDir + "CFG7.BLC", userStepFile);
    writeFile(kInstallDir + "Lumora.ini", std::vector<uint8_t>(kUserNames, kUserNames + strlen(kUserNames)));
}

void expectUserSettingsKept() {
    EXPECT_EQ(fileBytes(kInstallDir + "CFG7.BLC"), userStepFile);
    EXPECT_EQ(fileBytes(kInstallDir + "Lumora.ini"),
              std::vector<uint8_t>(kUserNames, kUserNames + strlen(kUserNames)));
}

class SetupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        removeInstallation();
        resetNotebook();
    }
    void TearDown() override { removeInstallation(); }

    void install() {
        ASSERT_EQ(runSetup(kInstallDir), 0u);
        ASSERT_TRUE(installedProgramReady());
    }
};

TEST_F(SetupTest, SilentInstallIntoAFolderWithBlanksRegistersAndStartsTheProgram) {
    install();
    for (const char *file : kInstalledFiles)
        EXPECT_TRUE(fileExists(kInstallDir + file)) << file;
    // A first installation starts each step from its default, so no first-run warning comes up.
    EXPECT_EQ(fileBytes(kInstallDir + "CFG4.BLC"), fileBytes(kInstallDir + "CFG4.DEF"));
    char windowClass[32] = {};
    GetPrivateProfileStringA("EXECUTE_MODULE1", "WINDOWCLASS", "", windowClass, sizeof windowClass,
                             (kInstallDir + "QUELLON.INI").c_str());
    EXPECT_STREQ(windowClass, "LUMORA");

    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPathKey, "Path"), kInstallDir + "Lumora.exe");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Kelvane");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"), "Vosk");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "1.0.0");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + kInstallDir + "Uninstall.exe\"");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"), kInstallDir + "Lumora.exe,0");
    DWORD size = 0, bytes = sizeof size;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "EstimatedSize", nullptr, nullptr, reinterpret_cast<BYTE *>(&size), &bytes);
        RegCloseKey(key);
    }
    EXPECT_GT(size, 100u); // kilobytes: the programs are several hundred
    EXPECT_TRUE(fileExists(shortcutPath()));
}

TEST_F(SetupTest, UpgradeClosesTheProgramKeepsTheUsersStepsAndStartsTheNewOne) {
    install();
    DWORD oldPid = programPid();
    HANDLE oldProcess = OpenProcess(SYNCHRONIZE, FALSE, oldPid);
    ASSERT_TRUE(oldProcess);
    writeUserSettings();

    EXPECT_EQ(runSetup(kInstallDir), 0u);
    EXPECT_EQ(WaitForSingleObject(oldProcess, 0), WAIT_OBJECT_0) << "the old program still runs";
    CloseHandle(oldProcess);
    ASSERT_TRUE(installedProgramReady());
    EXPECT_NE(programPid(), oldPid);
    expectUserSettingsKept();
}

TEST_F(SetupTest, SilentUninstallStopsTheProgramRemovesItsFilesAndKeysKeepsTheUsersStepsAndLeavesNothingInUseUnnoted) {
    install();
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, programPid());
    ASSERT_TRUE(process);
    writeUserSettings();
    setRegText(HKEY_LOCAL_MACHINE, kRunKey, "Kelvane", kInstallDir + "Lumora.exe 1");
    // Another program holds Quellon.exe open and does not share its deletion.
    HANDLE held = CreateFileA((kInstallDir + "Quellon.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_EQ(run("\"" + kInstallDir + "Uninstall.exe\" /S"), 0u);
    // The uninstaller runs on from a copy of itself; its last act removes the uninstall entry.
    ASSERT_TRUE(waitUntil(
        [] { return !regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !uninstallerRunning(); }, 60000));
    CloseHandle(held);
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "the program still runs";
    CloseHandle(process);
    // The program handed the power scheme back as it ended: the user's scheme 0 is active again.
    EXPECT_EQ(activeSchemeText(), "0");

    for (const char *file : kInstalledFiles)
        if (strcmp(file, "Quellon.exe") != 0) {
            EXPECT_FALSE(fileExists(kInstallDir + file)) << file;
        }
    // The file in use goes when Windows restarts.
    EXPECT_NE(pendingRemovals().find(kInstallDir + "Quellon.exe|"), std::string::npos) << pendingRemovals();
    expectUserSettingsKept();
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kRunKey, "Kelvane"), "<missing>");
    EXPECT_FALSE(fileExists(shortcutPath()));
}

// Since Vista the setup runs elevated: the step files are left to each user's folder, the program is
// started through the shell rather than as the setup's own (elevated) child, and the uninstaller
// also takes the user's start at log-on.
TEST_F(SetupTest, OnWindows10TheProgramStartsThroughTheShellAndUninstallTakesTheUsersRunValue) {
    SetupVersion win10("win10");
    DWORD setupPid = 0;
    // On a deployment service's window station, which no one sees, the setup starts nothing.
    HWINSTA interactive = GetProcessWindowStation();
    HWINSTA service = CreateWindowStationA("KelvaneService", 0, GENERIC_ALL, nullptr);
    ASSERT_TRUE(service && SetProcessWindowStation(service));
    CloseDesktop(CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    SetProcessWindowStation(interactive);
    ASSERT_EQ(runSetup(kInstallDir, &setupPid, "KelvaneService\\Default"), 0u);
    EXPECT_FALSE(startedExplorer(setupPid)) << "the setup started the program";
    CloseWindowStation(service);

    ASSERT_EQ(runSetup(kInstallDir, &setupPid), 0u);
    for (const char *file : kInstalledFiles)
        EXPECT_TRUE(fileExists(kInstallDir + file)) << file;
    for (int step = 1; step <= 8; ++step)
        EXPECT_FALSE(fileExists(kInstallDir + "CFG" + std::to_string(step) + ".BLC")) << step;
    DWORD parent = 0;
    ASSERT_TRUE(waitUntil([&] { return (parent = installedProgramsParent()) != 0; }, 30000))
        << "the program was not started";
    EXPECT_NE(parent, setupPid) << "the setup started the program itself, so it runs elevated";

    CreateDirectoryA(userFolder().c_str(), nullptr);
    writeFile(userFolder() + "CFG7.BLC", userStepFile);
    setRegText(HKEY_CURRENT_USER, kRunKey, "Kelvane", kInstallDir + "Lumora.exe 1");
    ASSERT_EQ(run("\"" + kInstallDir + "Uninstall.exe\" /S"), 0u);
    ASSERT_TRUE(waitUntil(
        [] { return !regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !uninstallerRunning(); }, 60000));
    EXPECT_FALSE(fileExists(kInstallDir + "Lumora.exe"));
    EXPECT_EQ(regText(HKEY_CURRENT_USER, kRunKey, "Kelvane"), "<missing>");
    // A silent uninstallation keeps the user's own settings.
    EXPECT_EQ(fileBytes(userFolder() + "CFG7.BLC"), userStepFile);
}

TEST_F(SetupTest, ControlCommandSwitchesCyclesReportsAndRefusesBadInput) {
    install();
    std::string out;
    EXPECT_EQ(ctl("step 3", &out), 0u);
    EXPECT_EQ(out, "Step 3 is in force.\r\n");
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Software\\KELVANE", "CurrentStep"), "3");

    // On mains the cycle goes on from step 3 to step 5, once the cycle's pause is over.
    EXPECT_EQ(ctl("cycle", &out), 0u);
    EXPECT_TRUE(
        waitUntil([] { return regText(HKEY_CURRENT_USER, "Software\\KELVANE", "CurrentStep") == "5"; }));
    // Windows tells a program without a manifest naming it that it runs on 6.2. Wine 8 has no Windows 11.
    const char kCtlVersion[] = "Software\\Wine\\AppDefaults\\kelvanectl.exe";
    const std::string byGuid = ", the power scheme \"Kelvane\" by GUID: step files and names in " + userFolder();
    for (const auto &[version, windows] : std::vector<std::pair<const char *, std::string>>{
             {"winxp", "5.1, numbered power schemes: step files and names in " + kInstallDir},
             {"win7", "6.1" + byGuid},
             {"win10", "10" + byGuid}}) {
        setRegTextTerminated(HKEY_CURRENT_USER, kCtlVersion, "Version", version);
        EXPECT_EQ(ctl("status", &out), 0u);
        EXPECT_EQ(out, "Step 5 is in force, on mains.\r\nKept for mains: step 5. Kept for battery: none yet.\r\n"
                       "Windows " + windows + ".\r\n");
    }
    deleteRegTree(HKEY_CURRENT_USER, kCtlVersion);
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "PowerModeAc", "best performance");
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "HeldByPolicy", "standby time-out, disk time-out");
    EXPECT_EQ(ctl("status", &out), 0u);
    EXPECT_NE(out.find("Power mode on mains: best performance. On battery: the user's.\r\nHeld by policy, left as "
                       "the policy sets them: standby time-out, disk time-out.\r\n"), std::string::npos) << out;

    // Refused input posts nothing: the step command after it is the only one the program sees.
    size_t from = logSize();
    EXPECT_EQ(ctl("step 9", &out), 2u);
    EXPECT_NE(out.find("\"9\" is not a step; steps are 1 to 8"), std::string::npos) << out;
    EXPECT_EQ(ctl("step 0", &out), 2u);
    EXPECT_EQ(ctl("hibernate", &out), 2u);
    EXPECT_NE(out.find("unknown command \"hibernate\""), std::string::npos) << out;
    EXPECT_EQ(ctl("", &out), 2u);
    EXPECT_NE(out.find("usage: kelvanectl"), std::string::npos) << out;
    // The program is on mains: a battery step is refused before it reaches the program.
    EXPECT_EQ(ctl("step 7", &out), 2u);
    EXPECT_EQ(out, "kelvanectl: step 7 is not offered on mains; mains offers steps 1, 2, 3, 5 and 6\r\n");
    // The twin without a console (a Windows program, so Windows opens no console window for it) says the
    // same in a file of the user's temporary folder, and ends with the same codes.
    const std::string twin = "\"" + kInstallDir + "kelvanectlw.exe\" ";
    std::vector<uint8_t> image = fileBytes(kInstallDir + "kelvanectlw.exe");
    ASSERT_GT(image.size(), 0x200u);
    EXPECT_EQ(reinterpret_cast<const IMAGE_NT_HEADERS *>(&image[image[0x3C]])->OptionalHeader.Subsystem,
              IMAGE_SUBSYSTEM_WINDOWS_GUI);
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    auto twinSaid = [&](const std::string &arguments) {
        DWORD code = run(twin + arguments);
        return std::to_string(code) + " " + fileText(std::string(temp) + "kelvanectlw.txt");
    };
    EXPECT_EQ(twinSaid("step 9").find("2 kelvanectl: \"9\" is not a step; steps are 1 to 8\r\n"), 0u);
    EXPECT_EQ(twinSaid("step 2"), "0 Step 2 is in force.\r\n");
    ASSERT_TRUE(waitLineFrom(from, "SPGS 2"));
    EXPECT_EQ(countPrefixFrom(from, "SPGS"), 1u) << "a refused command reached the program";
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Software\\KELVANE", "AC_Current_Step"), "2");

    // The program is still inside a switch to step 3 (recorded, the firmware slow to answer) when the
    // command asks for step 3 again: success only once the program has got to the command, after
    // finishing the switch before it.
    from = logSize();
    setSimText("SlowMethod", "SPGS");
    setSimValue("SlowMethodMs", 2000);
    PostMessageA(FindWindowA("LUMORA", "Lumora"), WM_COMMAND, stepCommand(3), 0);
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    EXPECT_EQ(ctl("step 3", &out), 0u);
    EXPECT_GE(countPrefixFrom(from, "SPLV"), 1u) << "success was reported before the program got to the command";
    setSimText("SlowMethod", "");

    EXPECT_EQ(ctl("exit", &out), 0u);
    EXPECT_EQ(out, "Lumora has ended.\r\n");
    EXPECT_EQ(activeSchemeText(), "0");
    EXPECT_EQ(ctl("status", &out), 1u);
    EXPECT_EQ(out, "kelvanectl: Lumora is not running\r\n");
    EXPECT_EQ(ctl("cycle", &out), 1u);
}

TEST_F(SetupTest, SetupStopsWithoutChangesWhenTheProgramWillNotClose) {
    TestWindows windows;
    size_t stubborn = windows.open("LUMORA", "Lumora", /*refuseClose=*/true);

    EXPECT_EQ(runSetup(kInstallDir), 2u);
    ASSERT_TRUE(windows.sync());
    EXPECT_GE(windows.closes(stubborn), 1) << "the setup never asked the program to close";
    EXPECT_FALSE(fileExists(kInstallDir + "Lumora.exe"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(SetupTest, SetupIntoAFolderThatCannotBeWrittenLeavesTheInstalledProgramAlone) {
    install();
    DWORD pid = programPid();
    // Folders the page (the same check) or /D= may get; sysfs takes no new file, not even from root.
    const std::string tooLong = "C:\\Program Files\\" + std::string(245 - 17, 'k') + "\\";
    for (const std::string &folder :
         {std::string("Z:\\sys\\kernel\\Kelvane\\"), kInstallDir + "Lumora.exe\\", tooLong,
          std::string("Q:\\Kelvane\\")}) {
        EXPECT_EQ(runSetup(folder), 2u) << folder;
        EXPECT_FALSE(fileExists(folder + "Lumora.exe")) << folder;
        EXPECT_EQ(programPid(), pid) << "the running program was stopped";
        EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPathKey, "Path"), kInstallDir + "Lumora.exe");
        EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"),
                  kInstallDir.substr(0, kInstallDir.size() - 1));
    }
    RemoveDirectoryA(tooLong.c_str());
}

// A program whose window goes at once while its process stays, still handing the power scheme back:
// its files are not replaced and it does not count as ended.
TEST_F(SetupTest, SetupWaitsForTheProgramsProcessNotItsWindow) {
    TestWindows windows;
    windows.open("LUMORA", "Lumora");
    EXPECT_EQ(runSetup(kInstallDir), 2u);
    EXPECT_FALSE(FindWindowA("LUMORA", "Lumora")) << "the setup never asked the program to close";
    EXPECT_FALSE(fileExists(kInstallDir + "Lumora.exe"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
}

TEST_F(SetupTest, SetupThatCannotLoadIgnixChangesNothing) {
    EXPECT_EQ(runSetupWithoutIgnix(kInstallDir), 2u);
    EXPECT_FALSE(fileExists(kInstallDir + "Lumora.exe"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// Wine keeps no access lists and names the user as every file's owner: what shows is the refusal of
// a folder that exists, and the command lines of Windows' tools, replaced here by a stand-in.
class AclToolStandIns {
  public:
    explicit AclToolStandIns(const char *exitCode) {
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, sizeof system);
        for (const char *tool : {"\\icacls.exe", "\\cacls.exe"}) {
            saved_.push_back({system + std::string(tool), fileBytes(system + std::string(tool))});
            CopyFileA("setup_standin.exe", saved_.back().first.c_str(), FALSE);
        }
        // 64-bit Wine runs its own tools from system32 unless told otherwise.
        setRegText(HKEY_CURRENT_USER, kOverrides, "icacls.exe", "native");
        setRegText(HKEY_CURRENT_USER, kOverrides, "cacls.exe", "native");
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("KELVANE_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableA("KELVANE_STANDIN_EXIT", exitCode);
    }
    ~AclToolStandIns() {
        for (auto &[path, bytes] : saved_)
            writeFile(path, bytes);
        HKEY overrides;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kOverrides, 0, KEY_SET_VALUE, &overrides) == ERROR_SUCCESS)
            RegDeleteValueA(overrides, "icacls.exe"), RegDeleteValueA(overrides, "cacls.exe"), RegCloseKey(overrides);
    }
    std::string log() const { return fileText(log_); }

  private:
    const std::string log_ = testFolder() + "acltools.log";
    static constexpr const char *kOverrides = "Software\\Wine\\DllOverrides";
    std::vector<std::pair<std::string, std::vector<uint8_t>>> saved_;
};

TEST_F(SetupTest, AFolderOutsideProgramFilesGetsAProtectedAccessListAndOneThatExistsIsRefused) {
    const std::string folder = "\"" + kOutsideDir.substr(0, kOutsideDir.size() - 1) + "\"";
    const struct {
        const char *version, *toolExit; // version "": the prefix's XP
        DWORD setupExit;
        std::vector<std::string> commands;
    } cases[] = {
        {"", "0", 0, {"cacls.exe\" " + folder + " /T /G \"Administrators:F\" \"SYSTEM:F\" \"Users:R\""}},
        {"win10", "0", 0,
         {"icacls.exe\" " + folder + " /reset /T /Q",
          "icacls.exe\" " + folder +
              " /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /Q"}},
        {"win10", "5", 2, {"icacls.exe\" " + folder + " /reset /T /Q"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.toolExit);
        // The last case's program may hold its file a moment after its process has ended.
        ASSERT_TRUE(waitUntil([] { removeInstallation(); return !fileExists(kOutsideDir); }, 30000));
        auto version = *c.version ? std::make_unique<SetupVersion>(c.version) : nullptr;
        AclToolStandIns tools(c.toolExit);
        EXPECT_EQ(runSetup(kOutsideDir), c.setupExit);
        for (size_t at = 0; const std::string &command : c.commands)
            EXPECT_NE(at = tools.log().find(command, at), std::string::npos) << command << " not in\n" << tools.log();
        EXPECT_EQ(fileExists(kOutsideDir + "Lumora.exe"), c.setupExit == 0);
        EXPECT_EQ(fileExists(kOutsideDir), c.setupExit == 0) << "a refusal leaves no folder made for it";
    }
    // A folder that is there already and not the administrators' (under Wine: any) is refused
    // before anything is run or written; in Program Files the owner is not asked.
    removeInstallation();
    CreateDirectoryA(kOutsideDir.c_str(), nullptr), CreateDirectoryA(kInstallDir.c_str(), nullptr);
    AclToolStandIns tools("0");
    EXPECT_EQ(runSetup(kOutsideDir), 2u);
    EXPECT_FALSE(fileExists(kOutsideDir + "Lumora.exe") || regKeyExists(HKEY_LOCAL_MACHINE, kPathKey));
    install();
    EXPECT_EQ(tools.log(), "");
}

} // namespace
