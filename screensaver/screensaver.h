// Screen saver control: turns the Windows screen saver on and off and keeps the executable to put back.
#pragma once
#include <windows.h>

// Every path buffer below holds 128 bytes including the terminating zero (AppState's screenSaverPath).
constexpr DWORD kScreenSaverPathSize = 128;

// Sets the active flag (0 off); turning on also names `path` in the system's place and remembers it.
void applyScreenSaver(DWORD active, const char *path);

// The current active flag; while active, refreshes `path` from the system's place.
DWORD queryScreenSaver(char *path);

// The active flag at start-up; fills `path` from the system, the remembered name, the default user's
// name or a fixed fallback, in that order.
DWORD captureScreenSaverAtStart(char *path);

// 1 when the system names a screen-saver executable (copied into `path`), 0 otherwise.
int readSystemScreenSaver(char *path);

// Keeps `path` under the program's own key, when that key exists.
void rememberScreenSaver(const char *path);

// 1 when the file named by `name` exists (a bare file name is looked for in the system directory and
// `name` becomes the joined path), 0 otherwise with `name` unchanged.
int findScreenSaverFile(char *name);
