// The window thread's operations on the machine, what waits for them, and the program's message boxes.
#include "state/operation.h"

#include "state/appstate.h"

// Only the window thread touches these: no lock, no interlocked calls.
static int depth;
static bool exitWaiting, closed, running;
static void (*waitingRunner)();

// Power events keep their order; step and cycle commands collapse to the latest, so the queue only
// outgrows this under a flood of distinct events, and then the newest of them is the one dropped.
constexpr unsigned kWaitingMax = 32;
struct Waiting {
    MSG message;
    bool latestOnly;
};
static Waiting waiting[kWaitingMax];
static unsigned waitingCount;

void showError(const char *text) {
    if (!closed)
        MessageBoxA(nullptr, text, app.caption, MB_TOPMOST | MB_ICONERROR);
}

void showWarning(const char *text) {
    if (!closed)
        MessageBoxA(nullptr, text, app.caption, MB_TOPMOST | MB_ICONWARNING);
}

MachineOperation::MachineOperation() : started(depth == 0) { ++depth; }

MachineOperation::~MachineOperation() {
    if (--depth > 0 || running || !waitingRunner)
        return;
    // The runner starts operations of its own; their ends must not run the queue again beneath it.
    running = true;
    waitingRunner();
    running = false;
}

bool operationRunning() { return depth > 0; }

static void removeAt(unsigned index) {
    for (unsigned i = index; i + 1 < waitingCount; ++i)
        waiting[i] = waiting[i + 1];
    --waitingCount;
}

void letWait(UINT message, WPARAM wParam, LPARAM lParam, bool latestOnly) {
    if (exitWaiting)
        return; // nothing after the exit runs
    if (latestOnly) {
        for (unsigned i = 0; i < waitingCount; ++i)
            if (waiting[i].latestOnly) {
                removeAt(i);
                break;
            }
    } else if (waitingCount > 0) {
        const MSG &last = waiting[waitingCount - 1].message;
        if (last.message == message && last.wParam == wParam && last.lParam == lParam)
            return;
    }
    if (waitingCount == kWaitingMax)
        return;
    Waiting &entry = waiting[waitingCount++];
    entry.message = MSG{};
    entry.message.message = message;
    entry.message.wParam = wParam;
    entry.message.lParam = lParam;
    entry.latestOnly = latestOnly;
}

bool takeWaiting(MSG &message) {
    if (waitingCount == 0)
        return false;
    message = waiting[0].message;
    removeAt(0);
    return true;
}

void dropWaiting() { waitingCount = 0; }

void setWaitingRunner(void (*runner)()) { waitingRunner = runner; }

void rememberExit() {
    if (exitWaiting)
        return;
    // In its place among what waits (WM_CLOSE stands for every way out): what came before it still runs.
    if (depth > 0) {
        if (waitingCount == kWaitingMax)
            --waitingCount;
        letWait(WM_CLOSE, 0, 0, false);
    }
    exitWaiting = true;
}
bool exitRemembered() { return exitWaiting; }

void closeMachine() { closed = true; }
bool machineClosed() { return closed; }
