// A started program on the simulated notebook: a hidden window with the tray menu, settings probed
// and the program's scheme provisioned, the event log cleared.
#pragma once
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "harness/msgbox.h"
#include "harness/notebook.h"
#include "harness/platform.h"
#include "machine/machine.h"
#include "resources/resource.h"
#include "state/appstate.h"
#include "tray/tray.h"

#include <gtest/gtest.h>

#include <algorithm>

// Lays out every step's file from its shipped default, as after earlier runs.
inline void copyStepDefaults() {
    for (unsigned step = 1; step <= 8; ++step) {
        std::string base = testFolder() + "CFG" + std::to_string(step);
        CopyFileA((base + ".DEF").c_str(), (base + ".BLC").c_str(), TRUE);
    }
}

class StartedProgram : public ::testing::Test {
  protected:
    // Arranges the notebook before start-up; tests override it.
    virtual void arrange() {}
    // Whether the steps have been used before (no default-copy notice at start-up).
    virtual bool usedBefore() { return true; }

    void SetUp() override {
        resetNotebook();
        resetAppState();
        if (usedBefore())
            copyStepDefaults();
        arrange();
        window = CreateWindowA("STATIC", "Lumora", 0, 0, 0, 0, 0, nullptr,
                               LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_LUMORA)), nullptr,
                               nullptr);
        ASSERT_TRUE(window);
        app.mainWindow = window;
        app.instance = GetModuleHandleA(nullptr);
        app.clockSupport = 1;
        {
            MessageBoxWatcher boxes; // the first start copies the shipped default of its step
            started = probeCapabilities(0, 0);
            messages = boxes.seen();
        }
        BuildTrayMenu(window);
        copyStepDefaults(); // no default-copy notices from here on
        clearLog();
    }

    void TearDown() override {
        if (window)
            DestroyWindow(window);
    }

    HMENU trayMenu() { return GetSubMenu(GetMenu(window), 0); }
    bool checked(unsigned step) {
        return (GetMenuState(trayMenu(), step - 1, MF_BYPOSITION) & MF_CHECKED) != 0;
    }
    // Applies `step` from the step in force, as a tray-menu command does.
    int applyFromCurrent(DWORD step) {
        DWORD previous = app.currentStep;
        app.currentStep = step;
        return applyStep(window, &app.currentStep, previous);
    }
    static bool logHas(const char *line) { return logContains(line); }
    static size_t logCount(const std::string &prefix) {
        std::vector<std::string> lines = logLines();
        return size_t(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::string &l) { return l.compare(0, prefix.size(), prefix) == 0; }));
    }

    HWND window = nullptr;
    int started = 0;
    std::vector<SeenMessage> messages;
};
