// A storm of random messages from outside: the program must come out of it alive, consistent and clean.
#include "boxes.h"
#include "handles.h"
#include "lumorafixture.h"
#include "soak.h"

#include <commctrl.h>
#include <cstdlib>
#include <optional>
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

// The n-th item of a tree of another process, in the order shown, or null.
HTREEITEM nthItem(HWND tree, int n) {
    auto item = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (item && n-- > 0)
        item = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, LPARAM(item)));
    return item;
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

    // First a storm during start-up's notice of a copied step file, Exit and WM_CLOSE within it: once
    // the box is answered the program ends, having changed nothing of the user's.
    folder = std::make_unique<ProgramFolder>(simProgramDir(), false);
    ASSERT_TRUE(program.start(folder->exe()));
    ASSERT_TRUE(program.waitWindow());
    ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
    program.command(kCmdExit);
    for (unsigned i = 0; i < 300; ++i) {
        unsigned kind = below(5);
        if (kind == 0)
            program.command(stepCommand(1 + below(8)));
        else if (kind == 1)
            program.command(kCmdStepCycle);
        else if (kind == 2)
            program.powerEvent(below(2) ? PBT_APMPOWERSTATUSCHANGE : PBT_APMRESUMESUSPEND);
        else if (kind == 3)
            program.post(0x8065 + below(2), below(10), 0);
        else
            SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, nullptr);
    }
    program.post(WM_CLOSE, 0, 0);
    {
        MessageBoxWatcher startUpBoxes("Kelvane", IDOK, program.pid());
        ASSERT_TRUE(program.waitExit(60000, nullptr)) << "start-up went on after the Exit";
    }
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, schemeKey(userScheme).c_str()));
    EXPECT_EQ(activeSchemeText(), userScheme);
    EXPECT_EQ(countPrefixFrom(0, "SPGS "), 0u);
    EXPECT_EQ(countPrefixFrom(0, "ACTIVATE "), 0u);

    startProgram();
    std::optional<MessageBoxWatcher> boxes(std::in_place, "Kelvane", IDOK, program.pid());
    ASSERT_TRUE(waitLogQuiet(500));
    const long handlesBefore = openHandles(program.pid());
    ASSERT_GT(handlesBefore, 0);
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    // Commands that open a dialog, a menu or a message box, or end, suspend or shut down, are left out;
    // "Auto StartUp" marks the end of each batch.
    // With the dialog open, "Configuration ..." is in the list too.
    bool dialogOpen = false;
    auto safeCommandId = [&] {
        for (;;) {
            unsigned id = below(4) ? 32700 + below(400) : below(0x10000);
            if (id != 104 && id != 105 && (id < 33071 || id > 33076 || (dialogOpen && id == 33074)))
                return id;
        }
    };
    auto randomCode = [&] { return below(2) ? 0u : below(0x10000); };
    auto anyParameter = [&] { return below(2) ? below(10) : unsigned(random()); };

    unsigned long sent = 0, batches = 0, sourceFlips = 0, endQueries = 0;
    bool autoStartUp = false;
    // Each batch ends with a marker: the batch is through once the program has taken it.
    auto endBatch = [&] {
        program.command(kCmdAutoStartUp);
        autoStartUp = !autoStartUp;
        ++batches;
        return waitUntil([&] { return programValue("AUTOSTARTUP") == (autoStartUp ? "1" : "0"); }, 120000);
    };
    DWORD start = GetTickCount();
    auto sendOne = [&] {
        {
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
            } else if (kind < 60) {
                // The program's private messages, with any parameters: a source's step, a handed box.
                program.post(0x8065 + below(2), anyParameter(), LPARAM(anyParameter()));
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
    };
    while (sent < count) {
        for (unsigned i = 0; i < 500 && sent < count; ++i, ++sent)
            sendOne();
        ASSERT_TRUE(endBatch()) << "batch " << batches << " was not taken within two minutes (seed " << seed
                                << ")";
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
    for (const SeenMessage &box : boxes->seen())
        ADD_FAILURE() << "message box during the storm: " << box.text;
    boxes.reset();
    printf("[ info ] %lu messages in %lu batches took %lu ms (%lu source changes, %lu log-off queries); "
           "handles %ld -> %ld; step %u\n",
           sent, batches, stormMs, sourceFlips, endQueries, handlesBefore, handlesAfter, step);

    // The storm goes on with the configuration dialog open and edited; then Exit comes while the dialog
    // asks whether to save before it changes the step.
    const std::string own = ownScheme();
    program.command(kCmdConfiguration);
    HWND dialog = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (dialog = FindWindowA("#32770", "Configuration Kelvane")) != nullptr; }));
    for (int n = 0; HTREEITEM item = nthItem(GetDlgItem(dialog, 1001), n); ++n) {
        SendMessageA(GetDlgItem(dialog, 1001), TVM_SELECTITEM, TVGN_CARET, LPARAM(item));
        for (WPARAM choice : {32811, 33000, 33001}) // "Never", "ON", "OFF": some fit the item
            SendMessageA(dialog, WM_COMMAND, choice, 0);
    }
    dialogOpen = true;
    for (unsigned i = 0; i < 500; ++i)
        sendOne();
    ASSERT_TRUE(endBatch());
    PostMessageA(GetDlgItem(dialog, 1003), TVM_SELECTITEM, TVGN_CARET,
                 LPARAM(nthItem(GetDlgItem(dialog, 1003), 3)));
    ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; })) << "no prompt";
    size_t from = logSize();
    program.command(kCmdExit);
    ASSERT_TRUE(endBatch() || !program.running());
    MessageBoxWatcher prompts("Kelvane", IDYES, program.pid());
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(30000, &code));
    EXPECT_EQ(code, 0u);
    ASSERT_FALSE(prompts.seen().empty());
    EXPECT_EQ(prompts.seen()[0].text,
              "Configuration has been changed.\nDo you want to save befor you Change ?");
    long deleted = findLine(from, "DELETE " + own);
    ASSERT_GE(deleted, 0);
    for (const std::string &line : logLinesFrom(size_t(deleted) + 1))
        ADD_FAILURE() << "after the scheme was handed back: " << line;
    EXPECT_EQ(activeSchemeText(), userScheme);
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str())) << "the program's scheme is left";
}
