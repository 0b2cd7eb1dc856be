// The configuration dialog: names the steps and edits the settings of one step.
#pragma once
#include <windows.h>
#include <commctrl.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The step pictures of both trees: the largest strip that fits `smallIconSize`, eight images with the
// strip's own colours; null when it cannot be loaded.
HIMAGELIST LoadStepImages(HINSTANCE instance, int smallIconSize);

// Ends the open dialog from outside its handlers (the program's exit): a name being edited is
// dropped, and its destruction asks about unsaved edits with the "leave" prompt.
void EndConfigDialog();

// Clears the step tree and fills it with the eight steps, named as in the tray menu.
void FillStepTree(HWND dialog);
// The edit step's new name, given in the step tree: the tree, the tray item and the stored name.
void RenameEditedStep(HWND dialog, const NMTVDISPINFOA *info);
// The step tree's item of `step`, or null.
HTREEITEM StepTreeItem(DWORD step);

// Rebuilds the settings tree for `step`; with `reload` 1 it first loads the step's file into
// editSettings. 0 when that load failed (after its message): the tree is left as it was.
int FillSettingsTree(HWND dialog, DWORD step, int reload);

// Inserts a last child of `parent` with `data`; `image` 1-8 gives the item step image image - 1.
HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char *text, LPARAM data, int image);

// Enables and grays the menu bar's popups and items for the current selection.
void UpdateConfigMenu(HWND dialog, HMENU menu, HMENU filePopup);

// The subclass of the step tree's name editor: Enter, Escape and Tab belong to the editor.
LRESULT CALLBACK LabelEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Saves editSettings as the edit step's file, and applies the step again when it is in force. 1 when
// saved; 0 after an error message, and nothing was applied.
int SaveEditedStep();

// Changes editSettings for the selected setting `kind` by menu command `command`; sets configModified
// when the choice fits.
void ApplyMenuChoice(DWORD kind, DWORD command);

// Fits the CPU Performance popup and performanceLevels to the processor's lowest throttle.
void AdaptPerformanceMenu(HMENU popup);
