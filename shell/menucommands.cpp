// Menu commands that change no step: About, Configuration, start at log-on, standby, hibernation and
// shut-down.
#include "shell/mainwnd.h"

#include "configdialog/configdialog.h"
#include "configdialog/configdialog_ids.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "resources/resource.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "state/operation.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "tray/tray.h"

#include <cstdio>

static const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void showAbout(HWND window) {
    if (app.aboutOpen)
        return;
    app.aboutOpen = 1;
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutDlgProc, 0);
    // Closed, or never created: either way the next request may open it.
    app.aboutOpen = 0;
}

// Runs the configuration dialog modally after storing the live state of the step in force, so the
// dialog starts from what is on the machine. The dialog enables the tray item again when it goes.
static void showConfiguration(HWND window) {
    // The tray item is grayed meanwhile, but an outside program may still post the command; inside an
    // operation (one of its boxes open) it does nothing.
    if (app.configOpen || operationRunning() || exitRemembered())
        return;
    {
        MachineOperation operation;
        captureStepState(app.currentStep, app.onAc);
    }
    // What waited for the capture has run, an exit among them.
    if (exitRemembered())
        return;
    EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_GRAYED);
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CONFIGURATION), window, ConfigDialogProc, 0);
    // The dialog enables it when it goes; one that could not be created must not leave it grayed.
    if (!app.configOpen)
        EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_ENABLED);
    if (exitRemembered() && !app.configOpen)
        requestExit(window);
}

static void toggleAutoStartUp(HWND window) {
    HMENU bar = GetMenu(window);
    if (app.autoStartUp) {
        // The "Run" entry stays; a start from it ends quietly while this is "0".
        if (writeProgramText("AUTOSTARTUP", "0")) {
            app.autoStartUp = 0;
            CheckMenuItem(bar, kCmdAutoStartUp, MF_BYCOMMAND | MF_UNCHECKED);
        }
        return;
    }
    // Quoted: in a folder with blanks ("C:\Program Files\...") Windows would first try "C:\Program.exe".
    char program[MAX_PATH], command[MAX_PATH + 8];
    if (!programFilePath("Lumora.exe", program, sizeof program) ||
        snprintf(command, sizeof command, "\"%s\" 1", program) >= int(sizeof command))
        return;
    // From Windows Vista on a standard user cannot write the machine's key: the entry is the user's own.
    HKEY runRoot = ntSixOrLater() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (writeRegText(runRoot, kRunKey, "Kelvane", command) && writeProgramText("AUTOSTARTUP", "1")) {
        app.autoStartUp = 1;
        CheckMenuItem(bar, kCmdAutoStartUp, MF_BYCOMMAND | MF_CHECKED);
    }
}

// Turns the machine off.
static void ShutDownNow() { machine::ShutDown(app.isNt ? EWX_POWEROFF : EWX_SHUTDOWN); }

bool menuCommand(HWND window, unsigned id) {
    switch (id) {
    case kCmdAbout:
        showAbout(window);
        return true;
    case kCmdExit:
        requestExit(window); // the clean-up, display-mode guard included, runs in WM_DESTROY
        return true;
    case kCmdStandByNow:
        machine::SetSuspendState(FALSE, FALSE, FALSE);
        return true;
    case kCmdHibernateNow:
        machine::SetSuspendState(TRUE, FALSE, FALSE);
        return true;
    case kCmdShutDownNow:
        ShutDownNow();
        return true;
    case kCmdAutoStartUp:
        toggleAutoStartUp(window);
        return true;
    case kCmdConfiguration:
        showConfiguration(window);
        return true;
    default:
        return false;
    }
}
