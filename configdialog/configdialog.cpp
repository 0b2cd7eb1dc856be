// The configuration dialog window: the step tree, renaming, saving, the defaults and the closing prompts.
#include "configdialog/configdialog.h"

#include "configdialog/configdialog_ids.h"
#include "core/configrules.h"
#include "core/steps.h"
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "resources/resource.h"
#include "state/operation.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "store/stepfiles.h"
#include "tray/tray.h"

#include <cstdio>

static_assert(IDM_CONFIG_EXIT == 32810 && kCmdConfiguration == 33074, "dialog and tray commands");

static const char kExitPrompt[] = "Configuration has been changed.\nDo you want to save befor you Exit ?";
static const char kChangePrompt[] = "Configuration has been changed.\nDo you want to save befor you Change ?";
static const char kLeavePrompt[] = "Configuration has been changed.\nDo you want to save befor you leave ?";

// A step name is at most this long, so the tree, the tray menu, its tooltip and the INI agree.
constexpr int kMaxStepName = int(kTextSize) - 1;

static LRESULT passOn(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(dialog, message, wParam, lParam);
}

// The three prompts are owned by the dialog; no lock is held while one waits.
static bool askToSave(HWND dialog, const char *prompt) {
    return MessageBoxA(dialog, prompt, app.caption, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) == IDYES;
}

void UpdateConfigMenu(HWND dialog, HMENU menu, HMENU filePopup) {
    ConfigMenuState state = configMenuState(app.stepTreeActive != 0, app.selectedSetting);
    for (int position = CONFIG_POPUP_TIMEOUT; position <= CONFIG_POPUP_CLOCK; ++position)
        EnableMenuItem(menu, position,
                       MF_BYPOSITION | (position == state.enabledPopup ? MF_ENABLED : MF_GRAYED));
    UINT stepItems = MF_BYPOSITION | (state.stepItemsEnabled ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(filePopup, 0, stepItems); // "Rename"
    EnableMenuItem(filePopup, 2, stepItems); // "Load Default setting"
    if (state.shortTimeouts != ShortTimeouts::Unchanged) {
        HMENU timeouts = GetSubMenu(menu, CONFIG_POPUP_TIMEOUT);
        UINT shortItems =
            MF_BYPOSITION | (state.shortTimeouts == ShortTimeouts::Enabled ? MF_ENABLED : MF_GRAYED);
        EnableMenuItem(timeouts, 0, shortItems);
        EnableMenuItem(timeouts, 1, shortItems);
    }
    DrawMenuBar(dialog);
}

static void showSaveError(DWORD step) {
    char path[MAX_PATH];
    if (!stepFilePath(step, "BLC", path, sizeof path))
        return;
    char text[MAX_PATH + 64];
    snprintf(text, sizeof text, "%s\nWrite Power policy file error!", path);
    showError(text);
}

int SaveEditedStep() {
    // The save and its re-application are one operation; inside another (a box of it still open) the
    // save does nothing and says so.
    MachineOperation operation;
    if (!operation.started || !saveStepSettings(app.editStep, app.editSettings)) {
        // Nothing was written, so nothing is applied: the edits stay in editSettings.
        showSaveError(app.editStep);
        return 0;
    }
    if (app.editStep == app.currentStep) {
        app.activeSettings.screenSaverAc = app.editSettings.screenSaverAc;
        app.activeSettings.screenSaverDc = app.editSettings.screenSaverDc;
        applyStep(nullptr, &app.currentStep, 0);
        app.activeSettings.panelLevel = app.editSettings.panelLevel;
    }
    return 1;
}

// Asks whether to keep the edits before the dialog closes, and saves on Yes. The dialog closes
// whatever happened, so nothing is left modified.
static void offerSaveOnLeaving(HWND dialog, const char *prompt) {
    if (!app.configModified)
        return;
    applyPanelLevel();
    if (askToSave(dialog, prompt)) {
        SaveEditedStep();
        if (app.editStep == app.currentStep)
            applyPanelLevel();
    }
    app.configModified = 0;
}

static INT_PTR closeDialog(HWND dialog, INT_PTR result) {
    offerSaveOnLeaving(dialog, kExitPrompt);
    EndDialog(dialog, result);
    return TRUE;
}

static void loadDefaultSetting(HWND dialog) {
    // One operation from the copy to the re-application, as a save.
    MachineOperation operation;
    if (!operation.started || !restoreStepDefault(app.editStep))
        return;
    FillSettingsTree(dialog, app.editStep, 1);
    if (app.editStep == app.currentStep) {
        app.activeSettings.screenSaverAc = app.editSettings.screenSaverAc;
        app.activeSettings.screenSaverDc = app.editSettings.screenSaverDc;
        applyStep(nullptr, &app.currentStep, 0);
        app.activeSettings.panelLevel = app.editSettings.panelLevel;
    }
    applyPanelLevel();
}

// Set while the step tree's selection is put back on the edit step, which is not taken up again.
static bool selectingBack;

static void selectEditStep() {
    if (HTREEITEM shown = StepTreeItem(app.editStep)) {
        selectingBack = true;
        SendMessageA(app.stepTree, TVM_SELECTITEM, TVGN_CARET, LPARAM(shown));
        selectingBack = false;
    }
}

// The selection has moved to `chosen` already: the prompt concerns the step left.
static void takeUpStep(HWND dialog, HTREEITEM chosen) {
    if (app.configModified && askToSave(dialog, kChangePrompt) && !SaveEditedStep()) {
        // Nothing was written: the edits stay with their step, as after a failed "Save Configuration".
        selectEditStep();
        return;
    }
    app.configModified = 0;
    TVITEMA item = {};
    item.mask = TVIF_PARAM;
    item.hItem = chosen;
    if (!chosen || !SendMessageA(app.stepTree, TVM_GETITEMA, 0, LPARAM(&item)))
        return;
    // A step whose file cannot be loaded is not taken up: the edit step stays the one whose settings
    // the tree shows, reloaded (edits given up at the prompt are gone), and the selection goes back to
    // it, so a save or a rename never lands on another step.
    DWORD step = DWORD(item.lParam - 256);
    if (FillSettingsTree(dialog, step, 1)) {
        app.editStep = step;
        return;
    }
    FillSettingsTree(dialog, app.editStep, 1);
    selectEditStep();
}

static void selectionChanged(HWND dialog, const NMTREEVIEWA *change) {
    if (change->hdr.hwndFrom == app.stepTree) {
        if (!selectingBack)
            takeUpStep(dialog, change->itemNew.hItem);
        app.stepTreeActive = 1;
        previewPanelLevel(0);
    } else {
        app.selectedSetting = change->itemNew.hItem ? DWORD(change->itemNew.lParam) : 0;
        app.stepTreeActive = 0;
    }
    UpdateConfigMenu(dialog, app.configMenu, GetSubMenu(app.configMenu, CONFIG_POPUP_FILE));
}

// The step item under the message's position, or null.
static HTREEITEM stepUnderCursor(POINT screen) {
    TVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(app.stepTree, &hit.pt);
    return HTREEITEM(SendMessageA(app.stepTree, TVM_HITTEST, 0, LPARAM(&hit)));
}

static POINT messagePoint() {
    DWORD position = GetMessagePos();
    POINT point = {short(LOWORD(position)), short(HIWORD(position))};
    return point;
}

static void clicked(HWND dialog) {
    POINT screen = messagePoint();
    if (HTREEITEM step = stepUnderCursor(screen)) {
        SendMessageA(app.stepTree, TVM_SELECTITEM, TVGN_CARET, LPARAM(step));
        app.stepTreeActive = 1;
    } else {
        HWND settings = GetDlgItem(dialog, IDC_SETTINGS_TREE);
        TVHITTESTINFO hit = {};
        hit.pt = screen;
        ScreenToClient(settings, &hit.pt);
        HTREEITEM item = HTREEITEM(SendMessageA(settings, TVM_HITTEST, 0, LPARAM(&hit)));
        SendMessageA(settings, TVM_SELECTITEM, TVGN_CARET, LPARAM(item));
        app.stepTreeActive = 0;
    }
    UpdateConfigMenu(dialog, app.configMenu, GetSubMenu(app.configMenu, CONFIG_POPUP_FILE));
}

static void doubleClicked(HWND dialog) {
    HMENU filePopup = GetSubMenu(app.configMenu, CONFIG_POPUP_FILE);
    if (HTREEITEM step = stepUnderCursor(messagePoint())) {
        SendMessageA(app.stepTree, TVM_SELECTITEM, TVGN_CARET, LPARAM(step));
        app.stepTreeActive = 1;
        UpdateConfigMenu(dialog, app.configMenu, filePopup);
        PostMessageA(dialog, WM_COMMAND, IDM_CONFIG_RENAME, 0);
        return;
    }
    app.stepTreeActive = 0;
    UpdateConfigMenu(dialog, app.configMenu, filePopup);
    int position = popupForKind(app.selectedSetting);
    if (position == 0)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    ShowTrayMenu(dialog, cursor.x, cursor.y, position);
}

// Set while a way out of the dialog discards a name being edited.
static bool discardingName;

static void discardNameEdit(HWND dialog) {
    discardingName = true;
    SendDlgItemMessageA(dialog, IDC_STEP_TREE, TVM_ENDEDITLABELNOW, TRUE, 0);
    discardingName = false;
}

static INT_PTR notified(HWND dialog, WPARAM wParam, LPARAM lParam) {
    NMHDR *header = reinterpret_cast<NMHDR *>(lParam);
    switch (header->code) {
    case TVN_BEGINLABELEDITA:
        app.labelEdit = HWND(SendMessageA(app.stepTree, TVM_GETEDITCONTROL, 0, 0));
        SendMessageA(app.labelEdit, EM_LIMITTEXT, kMaxStepName, 0);
        app.labelEditProc = WNDPROC(SetWindowLongPtrA(app.labelEdit, GWLP_WNDPROC, LONG_PTR(LabelEditProc)));
        app.labelEditing = 1;
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    case TVN_ENDLABELEDITA: {
        app.labelEditing = 0;
        const NMTVDISPINFOA *info = reinterpret_cast<NMTVDISPINFOA *>(lParam);
        // An empty name counts as given; only a cancelled edit carries no text. Ending the edit takes
        // the focus from the editor, and the tree may take that as a commit: not while discarding.
        if (info->item.pszText && !discardingName)
            RenameEditedStep(dialog, info);
        if (app.labelEdit && app.labelEditProc)
            SetWindowLongPtrA(app.labelEdit, GWLP_WNDPROC, LONG_PTR(app.labelEditProc));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    case TVN_SELCHANGEDA:
        selectionChanged(dialog, reinterpret_cast<NMTREEVIEWA *>(lParam));
        return FALSE;
    case NM_CLICK:
        clicked(dialog);
        return TRUE;
    case NM_DBLCLK:
        doubleClicked(dialog);
        return TRUE;
    default:
        return passOn(dialog, WM_NOTIFY, wParam, lParam);
    }
}

static INT_PTR commanded(HWND dialog, WPARAM wParam, LPARAM lParam) {
    unsigned id = LOWORD(wParam);
    if (app.labelEditing) {
        if (id != IDCANCEL)
            return passOn(dialog, WM_COMMAND, wParam, lParam); // no menu choice during a name edit
        discardNameEdit(dialog);
        return closeDialog(dialog, IDCANCEL);
    }
    switch (id) {
    case IDOK:
    case IDCANCEL:
    case IDM_CONFIG_EXIT:
        return closeDialog(dialog, id);
    case IDM_CONFIG_SAVE:
        // A failed save keeps the dialog modified, so the next way out asks again.
        if (app.configModified && SaveEditedStep()) {
            applyPanelLevel();
            app.configModified = 0;
        }
        return TRUE;
    case IDM_CONFIG_RENAME: {
        HTREEITEM item = HTREEITEM(SendMessageA(app.stepTree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        SetFocus(dialog);
        if (item)
            SendMessageA(app.stepTree, TVM_EDITLABELA, 0, LPARAM(item));
        return TRUE;
    }
    case IDM_CONFIG_LOAD_DEFAULT:
        loadDefaultSetting(dialog);
        return TRUE;
    default:
        break;
    }
    bool anyTime = id == IDM_SCREEN_SAVER_ON || id == IDM_SCREEN_SAVER_OFF || id == IDM_TIMEOUT_NEVER;
    bool settingItem = id >= IDM_PERFORMANCE_L0 && id <= IDM_TIMEOUT_5_HOURS;
    if (anyTime || (settingItem && !app.stepTreeActive)) {
        ApplyMenuChoice(app.selectedSetting, id);
        FillSettingsTree(dialog, app.editStep, 0);
    }
    return passOn(dialog, WM_COMMAND, wParam, lParam);
}

static void initialise(HWND dialog) {
    readPanelControl();
    FillStepTree(dialog);
    // The step in force's file cannot be loaded (its message is shown): the dialog does not open, so
    // no menu choice edits settings left from another step or given up, and no save writes them.
    // The step is read once: the load's boxes could let the step in force change before the second read.
    DWORD step = app.currentStep;
    if (!FillSettingsTree(dialog, step, 1)) {
        EndDialog(dialog, IDCANCEL);
        return;
    }
    app.editStep = step;
    app.configOpen = 1;
    DeleteMenu(app.configMenu, CONFIG_POPUP_CLOCK, MF_BYPOSITION); // the dialog offers no clock
    if (!app.throttleSupported)
        DeleteMenu(app.configMenu, CONFIG_POPUP_PERFORMANCE, MF_BYPOSITION);
    else
        AdaptPerformanceMenu(GetSubMenu(app.configMenu, CONFIG_POPUP_PERFORMANCE));
}

void EndConfigDialog() {
    if (!app.configOpen || !app.configDialog)
        return;
    if (app.labelEditing)
        discardNameEdit(app.configDialog);
    EndDialog(app.configDialog, IDCANCEL);
}

static void destroyed(HWND dialog) {
    offerSaveOnLeaving(dialog, kLeavePrompt);
    app.configOpen = 0;
    EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_ENABLED);
    applyPanelLevel();
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    app.configDialog = dialog;
    app.stepTree = GetDlgItem(dialog, IDC_STEP_TREE);
    app.configMenu = GetMenu(dialog);
    switch (message) {
    case WM_INITDIALOG:
        initialise(dialog);
        return TRUE;
    case WM_NOTIFY:
        return notified(dialog, wParam, lParam);
    case WM_COMMAND:
        return commanded(dialog, wParam, lParam);
    case WM_DESTROY:
        destroyed(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}
