// Screen pictures for the tests: a window as it is on the screen, and an icon's pixels.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Waits until the window's picture on the screen is drawn and steady, then saves it as a 24-bit
// .bmp file; false when it never settled or could not be written.
bool saveWindowPicture(HWND window, const std::string &path, DWORD timeoutMs = 15000);

// The pixels (32-bit BGRA, top row first) of an icon drawn at size x size on black.
std::vector<uint32_t> iconPixels(HICON icon, int size);

// Where the tests leave pictures for review, ending in a backslash or slash.
std::string artifactsFolder();
