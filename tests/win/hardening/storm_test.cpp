// A storm of random messages from outside: the program must come out of it alive, consistent and clean.
#include "boxes.h"
#include "handles.h"
#include "lumorafixture.h"
#include "soak.h"

#include <cstdlib>
#include <random>

namespace {

// The last step the firmware was told of, or 0.
unsigned lastAnnouncedStep() {
    std::vector<std::string> lines = logLines();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (line->compare(0, 5, "SPGS ") == 0)
            return unsigned(std::strtoul(line->c_str() + 5, nullptr, 10));
    return 0;
}

} // namespace

using MessageStorm = LumoraTestWithoutRunValue;

TEST_F(MessageStorm, TwentyThousandRandomMessagesLeaveTheProgramAliveConsistentAndClean) {
    const unsigned long seed = envNumber("KELVANE_SEED", 12);
    const unsigned long count = envNumber("KELVANE_STORM", 20000);
    printf("[ info ] %lu messages, seed %lu\n", count, seed);
    std::mt19937 random(seed);
    auto below = [&](unsigned n) { return unsigned(random() % n); };

    // The simulated notebook's own scheme at a first start is scheme 0.
    const std::string userScheme = "0";
    ASSERT_TRUE(osd.start());
    onMains();
    startProgram();
    MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
    ASSERT_TRUE(waitLogQuiet(500));
    const long handlesBefore = openHandles(program.pid());
    ASSERT_GT(handlesBefore, 0);
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    // Commands that open a dialog, a menu or a message box, or end, suspend or shut down, are left out;
    // "Auto StartUp" marks the end of each batch.
    auto safeCommandId = [&] {
        for (;;) {
            unsigned id = below(4) ? 32700 + below(400) : below(0x10000);
            if (id != 104 && id != 105 && (id < 33071 || id > 33076))
                return id;
        }
    };
    auto randomCode = [&] { return below(2) ? 0u : below(0x10000); };

    unsigned long sent = 0, batches = 0, sourceFlips = 0, endQueries = 0;
    bool autoStartUp = false;
    DWORD start = GetTickCount();
    while (sent < count) {
        for (unsigned i = 0; i < 500 && sent < count; ++i, ++sent) {
            unsigned kind = below(100);
            if (kind < 4) {
                program.command(stepCommand(1 + below(8)) | (below(8) ? 0 : WPARAM(randomCode()) << 16));
            } else if (kind < 9) {
                program.command(kCmdStepCycle | WPARAM(below(4) ? 0 : below(4)) << 16);
            } else if (kind < 10) {
                program.command(kCmdAutoPerformance | WPARAM(randomCode()) << 16);
            } else if (kind < 40) {
                program.command(safeCommandId() | WPARAM(randomCode()) << 16);
            } else if (kind < 46) {
                // A change of power source, or a battery event on the same one.
                if (below(2)) {
                    setSimValue("ACLineStatus", below(10) ? below(2) : 255);
                    ++sourceFlips;
                }
                program.powerEvent(PBT_APMPOWERSTATUSCHANGE);
            } else if (kind < 54) {
                static const WPARAM events[] = {PBT_APMSUSPEND,        PBT_APMRESUMESUSPEND,
                                                PBT_APMRESUMECRITICAL, PBT_APMQUERYSUSPEND,
                                                PBT_APMBATTERYLOW,     PBT_APMOEMEVENT};
                WPARAM event = below(4) ? events[below(6)] : below(0x20);
                // Resumes bounce the scheme for a second on the window's thread: a few are enough.
                if ((event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMECRITICAL) && below(8))
                    event = PBT_APMSUSPEND;
                program.powerEvent(event);
            } else if (kind < 84) {
                // Tray callbacks other than the double click (About) and the right click (menu).
                LPARAM mouse = below(4) ? 0x200 + below(16) : below(0x10000);
                if (mouse != WM_LBUTTONDBLCLK && mouse != WM_RBUTTONUP)
                    program.post(kTrayCallback, below(4), mouse);
            } else if (kind < 99) {
                program.post(taskbarCreated, 0, 0);
            } else {
                DWORD_PTR answer = 0;
                ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 60000,
                                                &answer))
                    << "no answer to the log-off query at message " << sent;
                EXPECT_EQ(answer, TRUE);
                ++endQueries;
            }
        }
        // The batch is through once the program has taken the marker behind it.
        program.command(kCmdAutoStartUp);
        autoStartUp = !autoStartUp;
        ++batches;
        ASSERT_TRUE(
            waitUntil([&] { return programValue("AUTOSTARTUP") == (autoStartUp ? "1" : "0"); }, 120000))
            << "batch " << batches << " was not taken within two minutes (seed " << seed << ")";
        ASSERT_TRUE(program.running());
    }
    DWORD stormMs = GetTickCount() - start;

    // Cycle workers and scheme bounces started late in the storm end within a few seconds.
    ASSERT_TRUE(waitLogQuiet(3000, 120000)) << "the program kept working after the storm";
    EXPECT_TRUE(program.answers(1000)) << "no answer to WM_NULL within 1 s";
    unsigned step = lastAnnouncedStep();
    EXPECT_TRUE(step >= 1 && step <= 8) << step;
    EXPECT_EQ(programValue("CurrentStep"), std::to_string(step));
    EXPECT_EQ(activeSchemeText(), ownScheme()) << "the program's scheme is not the active one";
    const long handlesAfter = openHandles(program.pid());
    EXPECT_LE(handlesAfter, handlesBefore + 2) << "handles by type now: " << openHandlesByType(program.pid());
    EXPECT_EQ(findKelvaneBox(program.pid()), nullptr) << "a message box is open";
    for (const SeenMessage &box : boxes.seen())
        ADD_FAILURE() << "message box during the storm: " << box.text;
    printf("[ info ] %lu messages in %lu batches took %lu ms (%lu source changes, %lu log-off queries); "
           "handles %ld -> %ld; step %u\n",
           sent, batches, stormMs, sourceFlips, endQueries, handlesBefore, handlesAfter, step);

    // Exit hands the user's scheme back and takes the program's scheme away.
    const std::string own = ownScheme();
    program.command(kCmdExit);
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(30000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(activeSchemeText(), userScheme);
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str())) << "the program's scheme is left";
}
