// The setup program and the control command as administrators and users meet them: install, upgrade,
// uninstall and switching steps, run from outside against the simulated notebook's Lumora.exe.
#include "harness/msgbox.h"
#include "harness/notebook.h"
#include "harness/testwindows.h"
#include "lumora/program.h"
#include "sim/simstate.h"

#include <functional>
#include <gtest/gtest.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace {

const std::string kInstallDir = "C:\\Program Files\\Kelvane Test Folder\\";
const std::string kOutsideDir = "C:\\Kelvane Test Folder\\"; // outside Program Files
const std::string kLinkTarget = "C:\\KelvaneTestTarget\\";     // what a link there leads to
const std::string kPercentDir = "C:\\Kelvane %WINDIR% Test\\";
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

// While it lives, Wine reports `version` ("win10") to the setup, its uninstaller, the copy the
// uninstaller runs from and the program, as it does for any program by its name.
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
    static constexpr const char *kNames[] = {"KelvaneSetup.exe", "Uninstall.exe", "Un.exe", "Lumora.exe"};
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
    for (const std::string &folder : {kInstallDir, kOutsideDir, kPercentDir, kLinkTarget + "Kelvane\\"}) {
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
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), KELVANE_VERSION);
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
    // The user's first start copies the step defaults with a notice; the program's exit waits for its
    // answer, as a user gives it.
    MessageBoxWatcher notices("Kelvane", IDOK);
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
    EXPECT_NE(out.find("usage: kelvanectl step"), std::string::npos) << out;
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
    EXPECT_EQ(twinSaid("").find("2 usage: kelvanectlw step"), 0u) << "the twin's usage names the other";
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

// Windows' tools that rewrite access lists (icacls, cacls), replaced by a stand-in that notes each run.
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

// Starts `command` from C:\ with `token` (the test's own when none) and does not wait. Wine starts a
// Unix program (ln, rm) this way too, without a process to wait on: callers wait for what it does.
HANDLE start(const std::string &command, HANDLE token = nullptr) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = command;
    if (!CreateProcessAsUserA(token, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// The exit code of a process `start` started, once it has ended (~0 when it did not in time).
DWORD exitCode(HANDLE process) {
    DWORD code = ~0u;
    if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

const std::string kLink = "C:\\KelvaneTestLink"; // no blanks: Unix's ln and rm take names as they stand

// Outside Program Files the folder is made with its access list in one step (Wine keeps no lists, so
// what shows is which folders are taken); an existing one only when it is the installed copy's, or
// empty and the administrators' (under Wine no folder is theirs).
TEST_F(SetupTest, OutsideProgramFilesOnlyAFolderOfItsOwnIsTakenAndARefusalChangesNothing) {
    const struct {
        const char *what;
        std::string folder;
        bool exists, holdsFile, link, installedFirst;
        DWORD exit;
    } cases[] = {
        {"new, with a % in its path", kPercentDir, false, false, false, false, 0},
        {"the installed copy's", kOutsideDir, true, true, false, true, 0},
        {"empty, the user's", kOutsideDir, true, false, false, false, 2},
        {"not empty", kOutsideDir, true, true, false, false, 2},
        {"a link to an empty folder", kLink + "\\", true, false, true, false, 2},
        {"below a link", kLink + "\\Kelvane\\", false, false, true, false, 2},
    };
    AclToolStandIns tools("0");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // The last case's program may hold its file a moment after its process has ended.
        ASSERT_TRUE(waitUntil([] { removeInstallation(); return !fileExists(kOutsideDir); }, 30000));
        CreateDirectoryA(kLinkTarget.c_str(), nullptr);
        if (c.link) {
            CloseHandle(start("Z:\\bin\\ln -s KelvaneTestTarget KelvaneTestLink"));
            ASSERT_TRUE(waitUntil([] { return fileExists(kLink + "\\"); }, 30000));
        }
        if (c.installedFirst)
            ASSERT_TRUE(runSetup(c.folder) == 0 && waitUntil([] { return programPid() != 0; }, 30000));
        else if (c.exists && !c.link)
            CreateDirectoryA(c.folder.c_str(), nullptr);
        if (c.holdsFile)
            writeFile(c.folder + "CFG7.BLC", userStepFile);

        EXPECT_EQ(runSetup(c.folder), c.exit);
        EXPECT_EQ(fileExists(c.folder + "Lumora.exe"), c.exit == 0);
        EXPECT_EQ(fileExists(c.folder), c.exists || c.exit == 0) << "a refusal leaves no folder made for it";
        EXPECT_FALSE(fileExists(kLinkTarget + "Lumora.exe") || fileExists(kLinkTarget + "Kelvane"));
        EXPECT_TRUE(!c.holdsFile || fileBytes(c.folder + "CFG7.BLC") == userStepFile);
        EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPathKey, "Path"), c.exit == 0 ? c.folder + "Lumora.exe" : "<missing>");
        CloseHandle(start("Z:\\bin\\rm -f KelvaneTestLink"));
        ASSERT_TRUE(waitUntil([] { return !fileExists(kLink + "\\"); }, 30000));
    }
    RemoveDirectoryA(kLinkTarget.c_str());
    EXPECT_EQ(tools.log(), "") << "the setup ran a tool that rewrites access lists";
}

// Outside Program Files the folder that other users' start at log-on may name stays, emptied; in
// Program Files, and on XP (one start at log-on, the machine's), it goes.
TEST_F(SetupTest, UninstallLeavesTheEmptiedFolderOutsideProgramFilesOnVistaAndLater) {
    SetupVersion win10("win10");
    for (const std::string &folder : {kOutsideDir, kInstallDir}) {
        ASSERT_EQ(runSetup(folder), 0u);
        ASSERT_TRUE(waitUntil([] { return programPid() != 0; }, 30000));
        MessageBoxWatcher notices("Kelvane", IDOK); // the first start's notices, answered
        ASSERT_EQ(run("\"" + folder + "Uninstall.exe\" /S"), 0u);
        ASSERT_TRUE(waitUntil(
            [] { return !regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !uninstallerRunning(); }, 60000));
        EXPECT_FALSE(fileExists(folder + "Lumora.exe"));
        EXPECT_TRUE(waitUntil([&] { return fileExists(folder) == (folder == kOutsideDir); }, 30000)) << folder;
    }
}

// What the setup must find before it changes anything: each stops it with 2 while the installed
// program runs on and its record stays. Wine's processes are administrators: a run without their
// rights gets a token whose administrators group only denies.
TEST_F(SetupTest, SetupStopsBeforeAnyChangeForAFileInUseAProgramElsewherePendingRemovalsOrAUser) {
    install();
    DWORD pid = programPid(), own = 0, size = SECURITY_MAX_SID_SIZE;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    const std::string pending = "\\??\\" + kInstallDir + "Quellon.exe";
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    SID_AND_ATTRIBUTES disabled = {administrators, 0};
    HANDLE token = nullptr, user = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token) &&
                CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
                CreateRestrictedToken(token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &user));
    const struct {
        const char *what;
        std::function<HANDLE()> arrange;
        HANDLE runAs;
    } cases[] = {
        {"kelvanectl.exe in use",
         [] { return CreateFileA((kInstallDir + "kelvanectl.exe").c_str(), GENERIC_READ, 1, 0, OPEN_EXISTING, 0, 0); }, nullptr},
        {"a tray program in another session",
         [&] { return CreateMutexA(0, 0, ("Global\\KelvaneScheme." + std::to_string((own + 1) % 64)).c_str()); }, nullptr},
        {"removals pending in the folder",
         [&] {
             setRegBytes(HKEY_LOCAL_MACHINE, kSessionManagerKey, "PendingFileRenameOperations", REG_MULTI_SZ,
                         "\\??\\C:\\Other\\x" + std::string(2, '\0') + pending + std::string(3, '\0'));
             return HANDLE(nullptr);
         },
         nullptr},
        {"no administrator", [] { return HANDLE(nullptr); }, user},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE held = c.arrange();
        std::string line = "\"" + setupExe() + "\" /S /D=" + kInstallDir.substr(0, kInstallDir.size() - 1);
        EXPECT_EQ(exitCode(start(line, c.runAs)), 2u);
        EXPECT_EQ(programPid(), pid) << "the program was stopped";
        EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPathKey, "Path"), kInstallDir + "Lumora.exe");
        if (held)
            CloseHandle(held);
        clearPendingRemovals();
    }
    CloseHandle(user), CloseHandle(token);
}

// The folder the checks took is the one the files go into: while the program is closing, it cannot be
// swapped for a folder of another owner.
TEST_F(SetupTest, TheCheckedFolderCannotBeSwappedWhileTheProgramCloses) {
    HANDLE closing = CreateEventA(nullptr, TRUE, FALSE, "KelvaneStandInClosing");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "KelvaneStandInGo");
    HANDLE tray = start("\"" + testFolder() + "setup_standin.exe\" tray");
    ASSERT_TRUE(waitUntil([] { return FindWindowA("LUMORA", "Lumora") != nullptr; }, 30000));
    HANDLE setup = start("\"" + setupExe() + "\" /S /D=" + kOutsideDir.substr(0, kOutsideDir.size() - 1));
    ASSERT_EQ(WaitForSingleObject(closing, 60000), WAIT_OBJECT_0);
    bool swapped = MoveFileA(kOutsideDir.c_str(), "C:\\Kelvane Test Aside") && CreateDirectoryA(kOutsideDir.c_str(), 0);
    SetEvent(go);
    DWORD code = exitCode(setup);
    // Windows keeps a held folder in place; Wine lets it move, and the check before the copy finds it.
    EXPECT_EQ(code, swapped ? 2u : 0u);
    EXPECT_EQ(fileExists(kOutsideDir + "Lumora.exe"), !swapped) << "the files went into the swapped-in folder";
    EXPECT_TRUE(fileExists(kOutsideDir)) << "the setup removed a folder it had not made";
    RemoveDirectoryA("C:\\Kelvane Test Aside");
    for (HANDLE h : {closing, go, tray})
        CloseHandle(h);
}

// Every program and the setup carry the project's one version number and its copyright line.
TEST(SetupFiles, CarryTheProjectsVersionAndCopyright) {
    DWORD major = 0, minor = 0, patch = 0;
    sscanf(KELVANE_VERSION, "%lu.%lu.%lu", &major, &minor, &patch);
    const std::string bin = KELVANE_REAL_PROGRAM_DIR;
    for (const std::string &file : {setupExe(), bin + "Lumora.exe", bin + "kelvanectlw.exe", bin + "Quellon.exe"}) {
        std::vector<char> info(GetFileVersionInfoSizeA(file.c_str(), nullptr) + 1);
        ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, info.size(), info.data())) << file;
        VS_FIXEDFILEINFO *fixed = nullptr;
        WORD *language = nullptr;
        char *copyright = nullptr, key[64];
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &size));
        EXPECT_EQ(std::pair(fixed->dwFileVersionMS, fixed->dwFileVersionLS), std::pair(major << 16 | minor, patch << 16));
        VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&language), &size);
        snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\LegalCopyright", language[0], language[1]);
        ASSERT_TRUE(VerQueryValueA(info.data(), key, reinterpret_cast<void **>(&copyright), &size)) << file;
        EXPECT_STREQ(copyright, "Copyright (C) 2026 Kelvane") << file;
    }
}

} // namespace
