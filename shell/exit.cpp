// The way out: Exit, WM_CLOSE and the end of the session hand the machine back, once.
#include "shell/mainwnd.h"

#include "configdialog/configdialog.h"
#include "core/steps.h"
#include "engine/stepapply.h"
#include "screensaver/screensaver.h"
#include "shell/sessions.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "state/operation.h"
#include "store/powerscheme.h"
#include "tray/tray.h"

// How long exit waits for the shell to take the icon away (a few milliseconds on Windows).
constexpr DWORD kTrayRemovalWaitMs = 100;

static bool exitBegun;
// The program's own WM_QUERYENDSESSION answered TRUE: only then does a WM_ENDSESSION end anything.
static bool queryAnswered;
// The open configuration dialog has been asked to end for the exit.
static bool dialogEnding;

bool exiting() { return exitBegun; }

// Puts back what the program changed: the display mode of step 6, the screen saver and the scheme
// active at start (the program's own deleted, unless another session's program still works in it).
// Runs once; afterwards nothing changes the machine, whatever operation was under way.
static void handBackMachine(HWND window, bool removeIcon) {
    if (machineClosed())
        return;
    endCycleWorker();
    KillTimer(window, kBounceTimer);
    if (app.currentStep == kDisplaySwitchStep)
        restoreSavedDisplayMode();
    if (removeIcon)
        RemoveTrayIconWithin(app.mainWindow, kTrayRemovalWaitMs);
    applyScreenSaver(app.screenSaverActiveAtStart, app.screenSaverPath);
    handBackAtExit();
    closeMachine();
}

// Every way out (Exit, WM_CLOSE from the setup, Quellon or kelvanectl) comes here. During an operation
// the exit waits for its end. An open configuration dialog is ended first, with its own prompt for
// unsaved edits, and the exit runs once its modal loop has returned: destroying it under its own
// handlers would let them reach the machine after the hand-back.
void requestExit(HWND window) {
    rememberExit();
    if (exitBegun || operationRunning())
        return;
    if (app.configOpen) {
        if (!dialogEnding) {
            dialogEnding = true;
            EndConfigDialog();
        }
        return;
    }
    DestroyWindow(window);
}

void exitDestroyed(HWND window) {
    // The exit is an operation too: what arrives during its waits never runs.
    MachineOperation operation;
    exitBegun = true;
    dropWaiting();
    unwatchSessions(window);
    if (machineClosed())
        RemoveTrayIconWithin(app.mainWindow, kTrayRemovalWaitMs); // the session's end handed back already
    else
        handBackMachine(window, true);
    if (app.treeImageList) {
        ImageList_Destroy(app.treeImageList);
        app.treeImageList = nullptr;
    }
    PostQuitMessage(0);
}

// The state is stored for the next start without waiting on anything: no pending cycle step may come
// in afterwards, and step 6's resolution goes back.
LRESULT queryEndSession() {
    queryAnswered = true;
    stopCycle();
    // Inside an operation the application under way records its own step; a capture now would
    // store half of it.
    if (operationRunning() || machineClosed())
        return TRUE;
    MachineOperation operation;
    if (app.currentStep == kDisplaySwitchStep)
        restoreSavedDisplayMode();
    readPanelLevel(0);
    captureStepState(app.currentStep, app.onAc);
    return TRUE;
}

// The session ends (or, with ENDSESSION_CLOSEAPP, the Restart Manager closes the program): the exit's
// hand-back at once, also inside an operation, whose rest then changes nothing. Windows ends a program
// that has not answered within 5 s, so nothing here waits for a box or a prompt. Only a sent message
// after the program's own query counts: a posted one, or one no query came before, changes nothing.
void endSession(HWND window, WPARAM ending, LPARAM) {
    if (!ending) {
        queryAnswered = false;
        return;
    }
    if (!queryAnswered || !InSendMessage())
        return;
    handBackMachine(window, false);
    rememberExit();
    if (app.configOpen) {
        // The edits go with the session, without a prompt; the dialog's loop then returns to the exit.
        app.configModified = 0;
        dialogEnding = true;
        EndConfigDialog();
        return;
    }
    if (!operationRunning() && !exitBegun)
        DestroyWindow(window);
}
