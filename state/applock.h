// The program-wide application lock, the message boxes it defers, and waits that still take sent
// messages.
#pragma once
#include <windows.h>

// Message boxes without owner, titled with the caption: errors, warnings and yes/no questions.
// An error or warning raised while the application lock is held waits until the lock is released.
void showError(const char *text);
void showWarning(const char *text);
int askQuestion(const char *text);

// The one program-wide lock of step applications, captures and panel-level operations, so the
// user-interface thread and a step-cycle worker never interleave on the settings, files or registry.
// It may be taken again by the thread that holds it.
void lockApplication();
// Releases the lock; the outermost release then shows the messages raised while it was held.
void unlockApplication();

// Waits for `object` up to `timeoutMs` while still taking messages sent to this thread's windows;
// the result of the wait (WAIT_OBJECT_0, WAIT_TIMEOUT ...).
DWORD waitTakingSentMessages(HANDLE object, DWORD timeoutMs);

struct ApplicationLock {
    ApplicationLock() { lockApplication(); }
    ~ApplicationLock() { unlockApplication(); }
    ApplicationLock(const ApplicationLock &) = delete;
    ApplicationLock &operator=(const ApplicationLock &) = delete;
};
