// The configuration dialog under Wine: the real dialog on a thread of its own, driven by its messages.
#include "harness/programfixture.h"

#include "configdialog/configdialog.h"
#include "configdialog/configdialog_ids.h"
#include "core/configrules.h"
#include "harness/screenshot.h"
#include "sim/simstate.h"
#include "state/operation.h"
#include "store/stepfiles.h"

#include <thread>
#include <tuple>

namespace {

const char kExitPrompt[] = "Configuration has been changed.\nDo you want to save befor you Exit ?";
const char kChangePrompt[] = "Configuration has been changed.\nDo you want to save befor you Change ?";

template <typename Check> bool waitUntil(Check wanted, DWORD ms = 15000) {
    for (DWORD start = GetTickCount(); !wanted(); Sleep(20))
        if (GetTickCount() - start >= ms)
            return false;
    return true;
}

void CALLBACK closeWithOk(HWND, UINT, UINT_PTR, DWORD) { PostMessageA(app.configDialog, WM_COMMAND, IDOK, 0); }

struct TreeItem {
    HTREEITEM handle;
    std::string text;
    LPARAM data;
};

class ConfigDialog : public StartedProgram {
  protected:
    void SetUp() override {
        StartedProgram::SetUp();
        app.trayMenu = trayMenu();
        app.treeImageList = LoadStepImages(app.instance, 16);
    }
    void TearDown() override {
        if (dialog) {
            app.configModified = 0; // no prompt left unanswered
            close(IDCANCEL);
        }
        RemoveDirectoryA((testFolder() + "CFG2.BL~").c_str());
        StartedProgram::TearDown();
    }

    // Runs the dialog modally on a thread of its own, as the main window does, and waits until it is up.
    void open() {
        app.configOpen = 0;
        thread = std::thread([this] {
            result = DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CONFIGURATION), nullptr,
                                     ConfigDialogProc, 0);
        });
        ASSERT_TRUE(waitUntil([] { return app.configOpen == 1 && IsWindowVisible(app.configDialog); }));
        dialog = app.configDialog;
    }
    // Sends a closing command and waits until the dialog is gone.
    void close(unsigned command) {
        PostMessageA(dialog, WM_COMMAND, command, 0);
        thread.join();
        dialog = nullptr;
    }
    LRESULT command(unsigned id) { return SendMessageA(dialog, WM_COMMAND, id, 0); }

    HWND tree(int id) { return GetDlgItem(dialog, id); }
    // Every item of a tree, parents before their children.
    std::vector<TreeItem> items(int id) {
        std::vector<TreeItem> all;
        walk(tree(id), HTREEITEM(SendMessageA(tree(id), TVM_GETNEXTITEM, TVGN_ROOT, 0)), all);
        return all;
    }
    void walk(HWND t, HTREEITEM item, std::vector<TreeItem> &all) {
        for (; item; item = HTREEITEM(SendMessageA(t, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item)))) {
            char text[256] = {};
            TVITEMA tv = {};
            tv.mask = TVIF_TEXT | TVIF_PARAM;
            tv.hItem = item;
            tv.pszText = text;
            tv.cchTextMax = sizeof text;
            SendMessageA(t, TVM_GETITEMA, 0, LPARAM(&tv));
            all.push_back({item, text, tv.lParam});
            walk(t, HTREEITEM(SendMessageA(t, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(item))), all);
        }
    }
    std::string texts(int id) {
        std::string joined;
        for (const TreeItem &item : items(id))
            joined += item.text + "|";
        return joined;
    }
    std::string valueText(DWORD kind) {
        for (const TreeItem &item : items(IDC_SETTINGS_TREE))
            if (DWORD(item.data) == kind)
                return item.text;
        return "<none>";
    }
    void selectStep(unsigned step) {
        SendMessageA(tree(IDC_STEP_TREE), TVM_SELECTITEM, TVGN_CARET,
                     LPARAM(items(IDC_STEP_TREE)[step - 1].handle));
    }
    void selectSetting(DWORD kind) {
        for (const TreeItem &item : items(IDC_SETTINGS_TREE))
            if (DWORD(item.data) == kind)
                SendMessageA(tree(IDC_SETTINGS_TREE), TVM_SELECTITEM, TVGN_CARET, LPARAM(item.handle));
    }
    std::vector<uint8_t> stepFile(unsigned step) {
        return fileBytes(testFolder() + "CFG" + std::to_string(step) + ".BLC");
    }
    std::string menuTexts(HMENU menu) {
        std::string joined;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[64] = {};
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            joined += std::string(text) + "|";
        }
        return joined;
    }
    void goOnBattery() {
        setSimValue("ACLineStatus", 0);
        app.onAc = 0;
        app.onBattery = 1;
    }

    HWND dialog = nullptr;
    std::thread thread;
    INT_PTR result = 0;
};

} // namespace

TEST_F(ConfigDialog, OpensWithTheStepsAndTheHalfOfTheStepInForce) {
    open();
    EXPECT_EQ(texts(IDC_STEP_TREE), "Step 1|Step 2|Step 3|Step 4|Step 5|Step 6|Step 7|Step 8|");
    EXPECT_EQ(items(IDC_STEP_TREE)[7].data, 264);
    EXPECT_EQ(texts(IDC_SETTINGS_TREE),
              "Step 2 (for AC mode)|System|Standby time out|Standby timer Never |Hibernation time out|"
              "Hibernation timer Never |Video|Video time out|Video off timer 20 Minutes |Screen Saver|"
              "Screen Saver ON|Hard Drive|Hard Drive time out|Hard Drive off timer Never |");
    EXPECT_EQ(menuTexts(GetMenu(dialog)), "File|Time out|Panel Level|Screen Saver|")
        << "XP throttles by itself";
    EXPECT_TRUE(saveWindowPicture(dialog, artifactsFolder() + "configuration.bmp"));
    close(IDCANCEL);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(app.configOpen, 0u);

    // On battery the same step shows its battery half, with the panel level; step 8 its performance.
    goOnBattery();
    app.throttleSupported = 1;
    open();
    std::vector<TreeItem> settings = items(IDC_SETTINGS_TREE);
    EXPECT_EQ(settings[0].text, "Step 2 (for DC mode)");
    EXPECT_EQ(valueText(KindBrightness), "Brightness level 86%");
    EXPECT_EQ(valueText(KindPerformance), "<none>");
    selectStep(8);
    EXPECT_EQ(valueText(KindPerformance), "Performance level 100%") << "XP leaves the battery unforced";
    EXPECT_EQ(valueText(KindVideo), "Video off timer 1 Minute ");
}

// Modern Standby has no S3, yet its standby time-out is the idle time before the notebook sleeps.
TEST_F(ConfigDialog, StandbyTimeOutOfferedWhereStandbyOrModernStandbyIs) {
    for (auto [standby, modern, offered] : {std::tuple{1u, 0u, true}, {0u, 0u, false}, {0u, 1u, true}}) {
        app.standbyAllowed = standby;
        setSimValue("AoAc", modern);
        open();
        EXPECT_EQ(valueText(KindStandby) == "Standby timer Never ", offered) << standby << modern;
        close(IDCANCEL);
    }
}

TEST_F(ConfigDialog, SavingATimeoutWritesTheFileAndAppliesTheStepInForceAgain) {
    open();
    std::vector<uint8_t> before = stepFile(2);
    selectSetting(KindVideo);
    command(IDM_TIMEOUT_5_HOURS);
    EXPECT_EQ(valueText(KindVideo), "Video off timer 5 hours ");
    EXPECT_EQ(stepFile(2), before) << "nothing is written before saving";
    clearLog();
    command(IDM_CONFIG_SAVE);
    std::vector<uint8_t> after = stepFile(2);
    ASSERT_EQ(after.size(), kStepFileSize);
    EXPECT_EQ(policyDword(after.data(), PolicyOffset::VideoTimeoutAc), 18000u);
    EXPECT_TRUE(logContains("SPGS 2")) << "the step in force is applied again";
    EXPECT_EQ(app.configModified, 0u);
    // Without edits a save writes and applies nothing.
    clearLog();
    command(IDM_CONFIG_SAVE);
    EXPECT_FALSE(logContains("SPGS 2"));
}

TEST_F(ConfigDialog, ChoosingAnotherStepWithEditsAsksAndNoWritesNothing) {
    open();
    std::vector<uint8_t> before = stepFile(2);
    selectSetting(KindScreenSaver);
    command(IDM_SCREEN_SAVER_OFF);
    EXPECT_EQ(valueText(KindScreenSaver), "Screen Saver OFF");
    MessageBoxWatcher boxes("Kelvane", IDNO);
    selectStep(3);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, kChangePrompt);
    EXPECT_EQ(stepFile(2), before);
    EXPECT_EQ(app.editStep, 3u);
    EXPECT_EQ(items(IDC_SETTINGS_TREE)[0].text, "Step 3 (for AC mode)");
    close(IDOK);
    EXPECT_EQ(boxes.seen().size(), 1u) << "the edits were given up: no further prompt";
}

TEST_F(ConfigDialog, RenamingKeepsTheEditsAndNamesTheStepEverywhere) {
    open();
    selectStep(2);
    selectSetting(KindVideo);
    command(IDM_TIMEOUT_45_MINUTES);
    command(IDM_CONFIG_RENAME);
    HWND editor = HWND(SendMessageA(tree(IDC_STEP_TREE), TVM_GETEDITCONTROL, 0, 0));
    ASSERT_TRUE(editor);
    SendMessageA(editor, WM_SETTEXT, 0, LPARAM("Quiet"));
    SendMessageA(tree(IDC_STEP_TREE), TVM_ENDEDITLABELNOW, FALSE, 0);
    EXPECT_EQ(items(IDC_STEP_TREE)[1].text, "Quiet");
    char name[kTextSize] = {};
    GetMenuStringA(trayMenu(), 1, name, sizeof name, MF_BYPOSITION);
    EXPECT_STREQ(name, "Quiet");
    readStepName(2, name, sizeof name);
    EXPECT_STREQ(name, "Quiet");
    EXPECT_EQ(items(IDC_SETTINGS_TREE)[0].text, "Quiet (for AC mode)");
    EXPECT_EQ(valueText(KindVideo), "Video off timer 45 Minutes ") << "the unsaved edit survives";
    EXPECT_EQ(app.configModified, 1u);

    // A name longer than the tray menu holds is cut to 127 characters.
    command(IDM_CONFIG_RENAME);
    editor = HWND(SendMessageA(tree(IDC_STEP_TREE), TVM_GETEDITCONTROL, 0, 0));
    ASSERT_TRUE(editor);
    SendMessageA(editor, WM_SETTEXT, 0, LPARAM(std::string(200, 'n').c_str()));
    SendMessageA(tree(IDC_STEP_TREE), TVM_ENDEDITLABELNOW, FALSE, 0);
    readStepName(2, name, sizeof name);
    EXPECT_EQ(std::string(name), std::string(127, 'n'));

    MessageBoxWatcher boxes("Kelvane", IDYES);
    close(IDM_CONFIG_EXIT);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, kExitPrompt);
    EXPECT_EQ(policyDword(stepFile(2).data(), PolicyOffset::VideoTimeoutAc), 2700u);
}

TEST_F(ConfigDialog, LoadDefaultSettingPutsTheShippedFileBackAndReportsAFailedCopy) {
    std::vector<uint8_t> shipped = fileBytes(testFolder() + "CFG3.DEF");
    open();
    selectStep(3);
    selectSetting(KindHardDrive);
    command(IDM_TIMEOUT_NEVER);
    command(IDM_CONFIG_SAVE);
    ASSERT_NE(stepFile(3), shipped);
    command(IDM_CONFIG_LOAD_DEFAULT);
    EXPECT_EQ(stepFile(3), shipped);
    EXPECT_EQ(valueText(KindHardDrive), "Hard Drive off timer 30 Minutes ");

    MoveFileA((testFolder() + "CFG3.DEF").c_str(), (testFolder() + "CFG3.OLD").c_str());
    MessageBoxWatcher boxes;
    command(IDM_CONFIG_LOAD_DEFAULT);
    MoveFileA((testFolder() + "CFG3.OLD").c_str(), (testFolder() + "CFG3.DEF").c_str());
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, testFolder() + "CFG3.DEF\nCopy default setting error!");
    EXPECT_EQ(boxes.seen()[0].icon, UINT(MB_ICONERROR));
    EXPECT_EQ(stepFile(3), shipped);
}

TEST_F(ConfigDialog, OnBatteryAChosenStepShowsItsPanelLevelUntilTheDialogCloses) {
    goOnBattery();
    for (unsigned way : {IDOK, IDCANCEL, IDM_CONFIG_EXIT}) {
        open();
        clearLog();
        selectStep(7);
        EXPECT_TRUE(logContains("SPLV 5")) << way;
        clearLog();
        close(way);
        EXPECT_TRUE(logContains("SPLV 13")) << way << ": step 2 is in force again";
        EXPECT_FALSE(logContains("SPLV 5")) << way;
    }
}

TEST_F(ConfigDialog, HibernationNotAfterStandbyIsRefusedWithAWarning) {
    open();
    selectSetting(KindStandby);
    command(IDM_TIMEOUT_20_MINUTES);
    selectSetting(KindHibernation);
    MessageBoxWatcher boxes;
    command(IDM_TIMEOUT_10_MINUTES);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, "You can not set the StandBy time out longer than Hiberation time out");
    EXPECT_EQ(boxes.seen()[0].icon, UINT(MB_ICONWARNING));
    EXPECT_EQ(valueText(KindHibernation), "Hibernation timer Never ");
    EXPECT_EQ(valueText(KindStandby), "Standby timer 20 Minutes ");
    EXPECT_EQ(app.configModified, 1u);
    boxes.setButton(IDNO);
    close(IDCANCEL);
}

// The chosen step's file is too short to load: the tree, the edit step and its settings stay those of
// the step shown, so a save writes that step's file with its own settings.
TEST_F(ConfigDialog, AnUnreadableStepFileLeavesTheTreeAndTheEditStepAsTheyWere) {
    std::vector<uint8_t> shortFile(150, 0xAB); // a policy and a panel level, no screen-saver flags
    writeFile(testFolder() + "CFG4.BLC", shortFile);
    open();
    std::string before = texts(IDC_SETTINGS_TREE);
    MessageBoxWatcher boxes;
    selectStep(4);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, testFolder() + "CFG4.BLC\nRead Power policy file(Screen_Saver) error!");
    EXPECT_EQ(texts(IDC_SETTINGS_TREE), before);
    EXPECT_EQ(app.editStep, 2u);
    TVITEMA selected = {};
    selected.mask = TVIF_PARAM;
    selected.hItem = HTREEITEM(SendMessageA(tree(IDC_STEP_TREE), TVM_GETNEXTITEM, TVGN_CARET, 0));
    ASSERT_TRUE(SendMessageA(tree(IDC_STEP_TREE), TVM_GETITEMA, 0, LPARAM(&selected)));
    EXPECT_EQ(selected.lParam, 258) << "the selection is back on the step shown";

    selectSetting(KindVideo);
    command(IDM_TIMEOUT_1_HOUR);
    command(IDM_CONFIG_SAVE);
    EXPECT_EQ(stepFile(4), shortFile);
    std::vector<uint8_t> saved = stepFile(2);
    ASSERT_EQ(saved.size(), kStepFileSize);
    EXPECT_EQ(policyDword(saved.data(), PolicyOffset::VideoTimeoutAc), 3600u);
    EXPECT_NE(policyDword(saved.data(), PolicyOffset::SpindownTimeoutAc), 0xABABABABu);
    EXPECT_NE(saved[144], 0xAB) << "the panel level is step 2's";
}

// A name edit in place: Enter keeps the name, Escape gives it up, the close box gives it up and closes.
// Only the tray item's text changes: the step in force keeps its check mark, a step the power source
// does not offer stays grayed.
TEST_F(ConfigDialog, EditingAStepNameInPlace) {
    HMENU tray = trayMenu();
    CheckMenuItem(tray, 1, MF_BYPOSITION | MF_CHECKED);
    EnableMenuItem(tray, 6, MF_BYPOSITION | MF_GRAYED); // step 7 is not offered on mains
    open();
    auto edit = [&](unsigned step, const char *name) {
        selectStep(step);
        command(IDM_CONFIG_RENAME);
        HWND editor = HWND(SendMessageA(tree(IDC_STEP_TREE), TVM_GETEDITCONTROL, 0, 0));
        EXPECT_TRUE(editor && app.labelEditing);
        SendMessageA(editor, WM_SETTEXT, 0, LPARAM(name));
        return editor;
    };
    // The keys go through the dialog's own loop, as typed keys do.
    auto press = [&](HWND editor, WPARAM key) {
        PostMessageA(editor, WM_KEYDOWN, key, 1);
        PostMessageA(editor, WM_KEYUP, key, 0xC0000001);
        EXPECT_TRUE(waitUntil([] { return app.labelEditing == 0; })) << key;
    };
    auto trayText = [&](unsigned step) {
        char text[kTextSize] = {};
        GetMenuStringA(tray, step - 1, text, sizeof text, MF_BYPOSITION);
        return std::string(text);
    };

    press(edit(7, "Night"), VK_RETURN);
    EXPECT_EQ(items(IDC_STEP_TREE)[6].text, "Night");
    EXPECT_EQ(trayText(7), "Night");
    press(edit(2, "Step 2"), VK_RETURN); // the step in force, renamed: it keeps its check mark
    press(edit(2, "Lost"), VK_ESCAPE);
    EXPECT_EQ(items(IDC_STEP_TREE)[1].text, "Step 2");
    EXPECT_TRUE(IsWindow(dialog));
    edit(2, "Gone");
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); // the close box
    thread.join();
    dialog = nullptr;
    EXPECT_EQ(result, IDCANCEL);

    char name[kTextSize] = {};
    readStepName(2, name, sizeof name);
    EXPECT_STREQ(name, "Step 2");
    EXPECT_EQ(trayText(2), "Step 2");
    EXPECT_NE(GetMenuState(tray, 1, MF_BYPOSITION) & MF_CHECKED, 0u);
    EXPECT_NE(GetMenuState(tray, 6, MF_BYPOSITION) & MF_GRAYED, 0u);
}

TEST_F(ConfigDialog, AFailedSaveIsReportedAndStillCountsAsModified) {
    open();
    selectSetting(KindVideo);
    command(IDM_TIMEOUT_1_HOUR);
    std::string blocker = testFolder() + "CFG2.BL~";
    CreateDirectoryA(blocker.c_str(), nullptr); // the temporary file cannot be made
    MessageBoxWatcher boxes;
    command(IDM_CONFIG_SAVE);
    ASSERT_TRUE(boxes.waitFor(1));
    { // Yes at the "Change" prompt meets the same failure: the step and its edits stay.
        MessageBoxWatcher yes("Kelvane", IDYES);
        selectStep(3);
    }
    boxes.setButton(IDNO);
    EXPECT_EQ(boxes.seen()[0].text, testFolder() + "CFG2.BLC\nWrite Power policy file error!");
    EXPECT_EQ(boxes.seen()[0].icon, UINT(MB_ICONERROR));
    EXPECT_EQ(app.configModified, 1u);
    EXPECT_EQ(app.editStep, 2u);
    EXPECT_EQ(valueText(KindVideo), "Video off timer 1 hour ");
    close(IDCANCEL);
    RemoveDirectoryA(blocker.c_str());
    ASSERT_TRUE(boxes.waitFor(3));
    EXPECT_EQ(boxes.seen()[2].text, kExitPrompt) << "the next way out asks again";
}

// Inside another operation (a box of a step application open): the dialog copies, saves and applies
// nothing, keeps its step and edits, and says the save failed.
TEST_F(ConfigDialog, InsideAnotherOperationNothingIsCopiedOrSaved) {
    open();
    const std::vector<uint8_t> stored = stepFile(2);
    app.mainWindow = dialog;
    MessageBoxWatcher boxes;
    {
        MachineOperation running;
        command(IDM_CONFIG_LOAD_DEFAULT);
        selectSetting(KindVideo);
        command(IDM_TIMEOUT_1_HOUR);
        command(IDM_CONFIG_SAVE);
    }
    app.mainWindow = window;
    EXPECT_EQ(app.editStep, 2u);
    EXPECT_EQ(app.configModified, 1u);
    EXPECT_EQ(valueText(KindVideo), "Video off timer 1 hour ");
    EXPECT_EQ(stepFile(2), stored);
    EXPECT_EQ(logLines().size(), 0u) << logLines().front();
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, testFolder() + "CFG2.BLC\nWrite Power policy file error!");
}

// The step in force cannot be loaded: its error, and no dialog (a time-out would close one with OK).
TEST_F(ConfigDialog, AnUnreadableStepInForceKeepsTheDialogClosed) {
    writeFile(testFolder() + "CFG2.BLC", std::vector<uint8_t>(150, 0xAB));
    MessageBoxWatcher boxes;
    UINT_PTR timer = SetTimer(nullptr, 0, 15000, closeWithOk);
    EXPECT_EQ(DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CONFIGURATION), nullptr, ConfigDialogProc, 0), 2);
    KillTimer(nullptr, timer);
    EXPECT_EQ(boxes.seen().at(0).text, testFolder() + "CFG2.BLC\nRead Power policy file(Screen_Saver) error!");
}

TEST_F(ConfigDialog, TheProcessorsLowestThrottleShapesThePerformanceMenu) {
    const struct {
        DWORD minimum;
        const char *items; // "" when the popup is gone
    } cases[] = {
        {0, "100%|75%|50%|25%|"}, {25, "100%|75%|50%|25%|"}, {37, "100%|68%|37%|"}, {50, "100%|75%|50%|"},
        {51, "100%|51%|"},        {99, "100%|99%|"},         {101, "100%|101%|"},   {100, ""}};
    for (const auto &c : cases) {
        setSimValue("ProcessorMinThrottle", c.minimum);
        const uint8_t initial[4] = {100, 75, 50, 25};
        memcpy(app.performanceLevels, initial, sizeof initial);
        app.throttleSupported = 1;
        open();
        HMENU bar = GetMenu(dialog);
        std::string items = GetMenuItemCount(bar) > CONFIG_POPUP_PERFORMANCE
                                ? menuTexts(GetSubMenu(bar, CONFIG_POPUP_PERFORMANCE))
                                : "";
        EXPECT_EQ(items, c.items) << c.minimum;
        EXPECT_EQ(app.throttleSupported, c.minimum == 100 ? 0u : 1u) << c.minimum;
        close(IDCANCEL);
    }
}
