// A hidden main window like the tray program's (class menu 109), with the program state set up for it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TrayWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a step name into the test folder's "Lumora.ini".
    static void nameStep(unsigned step, const std::string &name);
    // Handles the window's pending messages; then the messages it has received, as
    // "WM_COMMAND <id>" and "WM_USER".
    std::vector<std::string> received();

    HWND window = nullptr;
};
