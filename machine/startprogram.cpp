#include "machine/startprogram.h"

BOOL startDetached(const char *commandLine, WORD show) {
    // CreateProcessA may write into its command line; WinExec would wait for the tool's first input.
    char command[MAX_PATH + 32];
    lstrcpynA(command, commandLine, sizeof command);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return FALSE;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
}
