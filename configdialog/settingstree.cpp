// The settings tree of the configuration dialog and what each menu choice changes in editSettings.
#include "configdialog/configdialog.h"

#include "configdialog/configdialog_ids.h"
#include "core/configrules.h"
#include "core/steps.h"
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "state/operation.h"
#include "state/appstate.h"
#include "store/stepfiles.h"

#include <cstdio>
#include <initializer_list>

// The Time out popup's commands in menu order, "Never" aside.
static const unsigned kTimeoutCommands[kTimeoutItemCount] = {
    IDM_TIMEOUT_1_MINUTE,   IDM_TIMEOUT_2_MINUTES,  IDM_TIMEOUT_3_MINUTES,  IDM_TIMEOUT_5_MINUTES,
    IDM_TIMEOUT_10_MINUTES, IDM_TIMEOUT_15_MINUTES, IDM_TIMEOUT_20_MINUTES, IDM_TIMEOUT_25_MINUTES,
    IDM_TIMEOUT_30_MINUTES, IDM_TIMEOUT_45_MINUTES, IDM_TIMEOUT_1_HOUR,     IDM_TIMEOUT_2_HOURS,
    IDM_TIMEOUT_3_HOURS,    IDM_TIMEOUT_4_HOURS,    IDM_TIMEOUT_5_HOURS};

// Modern Standby notebooks have no S3, so standby is "not allowed", yet the standby time-out is the
// idle time before they enter Modern Standby: it is offered there too. Windows before 8 leaves the
// byte zero.
static bool standbyOffered() {
    SYSTEM_POWER_CAPABILITIES capabilities = {};
    return app.standbyAllowed != 0 || (machine::GetPwrCapabilities(&capabilities) && machine::aoAc(capabilities));
}

static bool editsMainsHalf(DWORD step) {
    return showsMainsHalf(step, app.acLastStep, app.dcFirstStep, app.onAc != 0);
}

static PolicyHalf readHalf(const StepSettings &settings, bool mains) {
    PolicyHalf half = policyHalf(settings.policy, mains);
    half.screenSaver = mains ? settings.screenSaverAc : settings.screenSaverDc;
    return half;
}

static void writeHalf(StepSettings &settings, bool mains, const PolicyHalf &half) {
    setPolicyHalf(settings.policy, mains, half);
    (mains ? settings.screenSaverAc : settings.screenSaverDc) = half.screenSaver;
}

HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char *text, LPARAM data, int image) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char *>(text);
    insert.item.cchTextMax = lstrlenA(text) + 1;
    insert.item.lParam = data;
    if (image != 0) {
        insert.item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.iImage = insert.item.iSelectedImage = image - 1;
    }
    return HTREEITEM(SendMessageA(tree, TVM_INSERTITEMA, 0, LPARAM(&insert)));
}

// A heading with its one value item, opened at once.
static void insertSetting(HWND tree, HTREEITEM group, const char *heading, const char *value, DWORD kind) {
    HTREEITEM head = InsertTreeItem(tree, group, heading, 0, 0);
    InsertTreeItem(tree, head, value, kind, 0);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, LPARAM(head));
}

static void timeoutText(const char *format, uint32_t seconds, char *text, size_t size) {
    char time[32];
    formatTimeout(seconds, time, sizeof time);
    snprintf(text, size, format, time);
}

int FillSettingsTree(HWND dialog, DWORD step, int reload) {
    if (reload == 1) {
        // An operation of its own, or part of the one that asked for it (a default copied back): what
        // arrives during its notice boxes waits. Loaded aside: a short file must not leave half its
        // bytes in the settings being edited.
        MachineOperation operation;
        StepSettings loaded = app.editSettings;
        if (!loadStepSettings(step, loaded))
            return 0;
        app.editSettings = loaded;
    }
    readPanelControl();
    HWND tree = GetDlgItem(dialog, IDC_SETTINGS_TREE);
    char name[kTextSize] = {};
    if (isStep(step))
        GetMenuStringA(app.trayMenu, stepIndex(step), name, sizeof name, MF_BYPOSITION);
    SendMessageA(tree, TVM_DELETEITEM, 0, LPARAM(TVI_ROOT));

    bool mains = editsMainsHalf(step);
    PolicyHalf half = readHalf(app.editSettings, mains);
    // Room for a name of 127 characters and the source behind it.
    char text[kTextSize + 32];
    snprintf(text, sizeof text, mains ? "%s (for AC mode)" : "%s (for DC mode)", name);
    HTREEITEM top = InsertTreeItem(tree, TVI_ROOT, text, 0, 0);

    bool standby = standbyOffered(), hibernation = app.hibernateAllowed != 0;
    bool performance = app.throttleSupported && isStep(step) && app.perfItemShown[stepIndex(step)];
    HTREEITEM system = nullptr;
    if (standby || hibernation || performance)
        system = InsertTreeItem(tree, top, "System", 0, 0);
    if (standby) {
        timeoutText("Standby timer %s ", shownStandby(half), text, sizeof text);
        insertSetting(tree, system, "Standby time out", text, KindStandby);
    }
    if (hibernation) {
        timeoutText("Hibernation timer %s ", shownHibernation(half), text, sizeof text);
        insertSetting(tree, system, "Hibernation time out", text, KindHibernation);
    }
    if (performance) {
        half.forcedThrottle = roundToOfferedLevel(half.forcedThrottle, app.performanceLevels);
        writeHalf(app.editSettings, mains, half);
        snprintf(text, sizeof text, "Performance level %d%%", int(half.forcedThrottle));
        insertSetting(tree, system, "CPU Performance", text, KindPerformance);
    }

    HTREEITEM video = InsertTreeItem(tree, top, "Video", 0, 0);
    if (app.panelControl == 1 && !mains) {
        snprintf(text, sizeof text, "Brightness level %d%%", int(app.editSettings.panelLevel * 100 / 15));
        insertSetting(tree, video, "Panel Light", text, KindBrightness);
    }
    timeoutText("Video off timer %s ", half.videoTimeout, text, sizeof text);
    insertSetting(tree, video, "Video time out", text, KindVideo);
    insertSetting(tree, video, "Screen Saver", half.screenSaver ? "Screen Saver ON" : "Screen Saver OFF",
                  KindScreenSaver);

    HTREEITEM drive = InsertTreeItem(tree, top, "Hard Drive", 0, 0);
    timeoutText("Hard Drive off timer %s ", half.spindownTimeout, text, sizeof text);
    insertSetting(tree, drive, "Hard Drive time out", text, KindHardDrive);

    for (HTREEITEM group : {top, system, video, drive})
        if (group)
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, LPARAM(group));
    return 1;
}

static void markModified(ChoiceResult result) {
    if (result == ChoiceResult::Refused)
        showWarning("You can not set the StandBy time out longer than Hiberation time out");
    if (result != ChoiceResult::Ignored)
        app.configModified = 1;
}

void ApplyMenuChoice(DWORD kind, DWORD command) {
    bool mains = editsMainsHalf(app.editStep);
    PolicyHalf half = readHalf(app.editSettings, mains);
    if (command >= IDM_PERFORMANCE_L0 && command <= IDM_PERFORMANCE_L3) {
        if (kind != KindPerformance)
            return;
        unsigned level = command - IDM_PERFORMANCE_L0;
        half.optimizeForPower = level == 0 ? 1 : 0;
        half.forcedThrottle = app.performanceLevels[level];
        writeHalf(app.editSettings, mains, half);
        app.configModified = 1;
        return;
    }
    if (command >= IDM_PANEL_LEVEL_FIRST && command <= IDM_PANEL_LEVEL_LAST) {
        if (kind != KindBrightness)
            return;
        app.editSettings.panelLevel = command - (IDM_PANEL_LEVEL_FIRST - 1);
        previewPanelLevel(1);
        app.configModified = 1;
        return;
    }
    if (command == IDM_SCREEN_SAVER_ON || command == IDM_SCREEN_SAVER_OFF) {
        if (kind != KindScreenSaver)
            return;
        half.screenSaver = command == IDM_SCREEN_SAVER_ON ? 1 : 0;
        writeHalf(app.editSettings, mains, half);
        app.configModified = 1;
        return;
    }
    ChoiceResult result = ChoiceResult::Ignored;
    if (command == IDM_TIMEOUT_NEVER) {
        result = setNever(kind, app.hibernateAllowed != 0, half);
    } else {
        for (size_t i = 0; i < kTimeoutItemCount; ++i)
            if (command == kTimeoutCommands[i])
                result = setTimeout(kind, timeoutItemSeconds(i), timeoutItemNextSeconds(i), half);
    }
    if (result == ChoiceResult::Changed)
        writeHalf(app.editSettings, mains, half);
    markModified(result);
}

static void setItemPercent(HMENU popup, UINT command, unsigned percent) {
    char text[16];
    snprintf(text, sizeof text, "%d%%", int(percent));
    ModifyMenuA(popup, command, MF_BYCOMMAND | MF_STRING, command, text);
}

void AdaptPerformanceMenu(HMENU popup) {
    SYSTEM_POWER_CAPABILITIES capabilities = {};
    if (!machine::GetPwrCapabilities(&capabilities))
        return;
    unsigned minimum = capabilities.ProcessorMinThrottle;
    switch (adaptPerformanceLevels(minimum, app.performanceLevels)) {
    case PerformanceMenu::Unchanged:
        return;
    case PerformanceMenu::TwoLower:
        setItemPercent(popup, IDM_PERFORMANCE_L2, minimum);
        setItemPercent(popup, IDM_PERFORMANCE_L1, app.performanceLevels[1]);
        DeleteMenu(popup, IDM_PERFORMANCE_L3, MF_BYCOMMAND);
        return;
    case PerformanceMenu::OneLower:
        setItemPercent(popup, IDM_PERFORMANCE_L1, minimum);
        DeleteMenu(popup, IDM_PERFORMANCE_L2, MF_BYCOMMAND);
        DeleteMenu(popup, IDM_PERFORMANCE_L3, MF_BYCOMMAND);
        return;
    case PerformanceMenu::Removed:
        // A processor that cannot be throttled offers no levels for the rest of the run.
        app.throttleSupported = 0;
        DeleteMenu(app.configMenu, CONFIG_POPUP_PERFORMANCE, MF_BYPOSITION);
        return;
    }
}
