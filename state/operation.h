// The window thread's operations on the machine, what waits for them, and the program's message boxes.
#pragma once
#include <windows.h>

// Message boxes without owner, titled with the caption: errors and warnings. None once the machine
// has been handed back: the program is ending.
void showError(const char *text);
void showWarning(const char *text);

// One operation on the machine: start-up, a step application with its capture, a bounce half, a
// panel-level operation, the dialog's save and re-application, the exit. Only the window thread runs
// them, and one never starts inside another: inside a running one `started` is false, and the caller
// does nothing or lets its message wait. When the outermost ends, what waited runs.
class MachineOperation {
  public:
    MachineOperation();
    ~MachineOperation();
    MachineOperation(const MachineOperation &) = delete;
    MachineOperation &operator=(const MachineOperation &) = delete;
    const bool started;
};
bool operationRunning();

// Lets a message wait for the end of the running operation. `latestOnly` marks a step or cycle
// command: only the latest of those waits, in the place it arrived. Everything else waits in its
// order; the same message twice in a row waits once (each reads the machine afresh when it runs).
void letWait(UINT message, WPARAM wParam, LPARAM lParam, bool latestOnly);
// Takes the oldest waiting message; false when none waits.
bool takeWaiting(MSG &message);
void dropWaiting();
// What runs once the outermost operation has ended (the main window's dispatch of what waited).
void setWaitingRunner(void (*runner)());

// An Exit, WM_CLOSE or the end of the session: during an operation it waits in its place, as a
// WM_CLOSE, and runs after what arrived before it; nothing that arrives after it waits.
void rememberExit();
bool exitRemembered();

// The machine has been handed back (the exit, the end of the session): nothing changes it any more,
// whatever operation was under way.
void closeMachine();
bool machineClosed();
