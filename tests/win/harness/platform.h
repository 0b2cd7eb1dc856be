// Running part of a test program again on another Windows platform, or from another folder.
#pragma once
#include <windows.h>

#include <string>

// Runs a copy of this test program, named for `platform` ("winxp", "win2k", "win98"), with only the
// tests matching `filter`; returns its exit code (0 when they passed), or -1 when it could not start.
int runOnPlatform(const char *platform, const char *filter);

// Runs a copy of this test program placed at `exePath` with only the tests matching `filter`.
int runCopyAt(const std::string &exePath, const char *filter);

// Starts a program with arguments and waits for it (at most `timeoutMs`); its exit code, or -1.
int runProgram(const std::string &commandLine, DWORD timeoutMs = 60000);
