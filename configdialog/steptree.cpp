// The step tree of the configuration dialog: its pictures, the step names and their renaming.
#include "configdialog/configdialog.h"

#include "configdialog/configdialog_ids.h"
#include "core/steps.h"
#include "resources/resource.h"
#include "state/appstate.h"
#include "store/stepfiles.h"

HIMAGELIST LoadStepImages(HINSTANCE instance, int smallIconSize) {
    // The trees take the largest strip that fits the small-icon size, which grows with the scaling.
    static const struct {
        int size;
        unsigned id;
    } kStrips[] = {
        {16, IDB_STEP_IMAGES}, {20, IDB_STEP_IMAGES_20}, {24, IDB_STEP_IMAGES_24}, {32, IDB_STEP_IMAGES_32}};
    unsigned strip = 0;
    while (strip + 1 < 4 && kStrips[strip + 1].size <= smallIconSize)
        ++strip;
    // A DIB section into a 24-bit list: a device-dependent bitmap in the default 4-bit list would bring
    // the strips' colours down to the sixteen standard ones.
    HBITMAP bitmap = HBITMAP(
        LoadImageA(instance, MAKEINTRESOURCEA(kStrips[strip].id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return nullptr;
    int size = kStrips[strip].size;
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, int(kStepCount), 0);
    if (images && ImageList_AddMasked(images, bitmap, 0x00FF0000) < 0) { // blue shows the tree through
        ImageList_Destroy(images);
        images = nullptr;
    }
    DeleteObject(bitmap);
    return images;
}

void FillStepTree(HWND dialog) {
    HWND tree = GetDlgItem(dialog, IDC_STEP_TREE);
    SendMessageA(tree, TVM_DELETEITEM, 0, LPARAM(TVI_ROOT));
    SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, LPARAM(app.treeImageList));
    for (unsigned i = 0; i < kStepCount; ++i) {
        char text[kTextSize] = {};
        GetMenuStringA(app.trayMenu, i, text, sizeof text, MF_BYPOSITION);
        InsertTreeItem(tree, TVI_ROOT, text, 257 + i, int(i + 1));
    }
}

LRESULT CALLBACK LabelEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETDLGCODE)
        return CallWindowProcA(app.labelEditProc, window, message, wParam, lParam) | DLGC_WANTALLKEYS;
    // The single-line editor would beep at Enter and Tab; the tree commits on Enter itself.
    if (message == WM_CHAR && (wParam == 13 || wParam == 9))
        return 0;
    return CallWindowProcA(app.labelEditProc, window, message, wParam, lParam);
}

void RenameEditedStep(HWND dialog, const NMTVDISPINFOA *info) {
    char name[kTextSize];
    lstrcpynA(name, info->item.pszText, sizeof name);
    TVITEMA item = {};
    item.mask = TVIF_TEXT | TVIF_PARAM;
    item.hItem = info->item.hItem;
    item.pszText = name;
    item.lParam = 256 + app.editStep;
    SendDlgItemMessageA(dialog, IDC_STEP_TREE, TVM_SETITEMA, 0, LPARAM(&item));
    if (!isStep(app.editStep))
        return;
    // Only the text changes: the check mark of the step in force and the graying of a step the power
    // source does not offer stay as they are.
    MENUITEMINFOA text = {};
    text.cbSize = sizeof text;
    text.fMask = MIIM_TYPE;
    text.fType = MFT_STRING;
    text.dwTypeData = name;
    SetMenuItemInfoA(app.trayMenu, stepIndex(app.editStep), TRUE, &text);
    // Built from editSettings as it stands: unsaved edits of the step survive its new name.
    FillSettingsTree(dialog, app.editStep, 0);
    writeStepName(app.editStep, name);
}

HTREEITEM StepTreeItem(DWORD step) {
    for (HTREEITEM item = HTREEITEM(SendMessageA(app.stepTree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item;
         item = HTREEITEM(SendMessageA(app.stepTree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item)))) {
        TVITEMA data = {};
        data.mask = TVIF_PARAM;
        data.hItem = item;
        if (SendMessageA(app.stepTree, TVM_GETITEMA, 0, LPARAM(&data)) && DWORD(data.lParam) == 256 + step)
            return item;
    }
    return nullptr;
}
