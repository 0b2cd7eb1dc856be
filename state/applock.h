// The program-wide application lock, the message boxes it defers, and waits that still take sent
// messages.
#pragma once
#include <windows.h>

// Message boxes without owner, titled with the caption: errors and warnings.
// One raised while the application lock is held waits until the lock is released.
void showError(const char *text);
void showWarning(const char *text);

// Called by a worker holding the lock: the messages raised under it are posted to `window`
// (kShowMessageMessage) instead of being shown on the worker, which must never wait on a box.
void handPendingMessagesTo(HWND window);
// Shows and frees a message handed over by handPendingMessagesTo (the lParam of kShowMessageMessage).
void showHandedMessage(LPARAM handed);

// How long the main window's thread waits for the lock before it goes on without it.
constexpr DWORD kWindowThreadLockWaitMs = 5000;

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
