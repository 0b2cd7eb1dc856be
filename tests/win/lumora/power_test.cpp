// Power broadcasts: a change of power source, a status message without one, suspend and resume.
#include "lumorafixture.h"

namespace {

constexpr WPARAM kPowerStatusChange = 10; // PBT_APMPOWERSTATUSCHANGE
constexpr WPARAM kSuspend = 4;            // PBT_APMSUSPEND
constexpr WPARAM kResumeSuspend = 7;      // PBT_APMRESUMESUSPEND

// Checks a scheme bounce seen by `clock` from entry `from`: the user's scheme made active, and about a
// second later the program's scheme again, which stays active.
void expectBounce(LogClock &clock, size_t from, const std::string &user, const std::string &own) {
    const std::string toUser = "ACTIVATE " + user, toOwn = "ACTIVATE " + own;
    DWORD userTick = 0;
    size_t userIndex = 0;
    ASSERT_TRUE(waitUntil([&] {
        std::vector<LogClock::Entry> entries = clock.entries();
        for (size_t i = from; i < entries.size(); ++i)
            if (entries[i].line == toUser) {
                userTick = entries[i].tick;
                userIndex = i;
                return true;
            }
        return false;
    })) << "the user's scheme never came";
    // The program's scheme comes back last, after the one second (the step switch of a source change
    // may activate it at the same moment as the user's; that one does not count).
    DWORD backTick = 0;
    bool back = waitUntil(
        [&] {
            std::vector<LogClock::Entry> entries = clock.entries();
            for (size_t i = userIndex + 1; i < entries.size(); ++i)
                if (entries[i].line == toOwn && LONG(entries[i].tick - userTick) >= 700) {
                    backTick = entries[i].tick;
                    return true;
                }
            return false;
        },
        8000);
    ASSERT_TRUE(back) << "the program's scheme did not come back about a second later";
    printf("[ info ] the user's scheme stayed active for %lu ms\n", backTick - userTick);
    EXPECT_LE(backTick - userTick, 4000u);
    EXPECT_TRUE(waitLogQuiet(300));
    std::vector<LogClock::Entry> entries = clock.entries();
    std::string lastActivation;
    for (size_t i = from; i < entries.size(); ++i)
        if (entries[i].line.compare(0, 9, "ACTIVATE ") == 0)
            lastActivation = entries[i].line;
    EXPECT_EQ(lastActivation, toOwn);
    EXPECT_EQ(activeSchemeText(), own);
}

} // namespace

using PowerEvents = LumoraTest;

TEST_F(PowerEvents, StatusMessageWithUnchangedSourceDoesNothing) {
    ASSERT_TRUE(osd.start());
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    size_t from = logSize();
    program.powerEvent(kPowerStatusChange); // still on mains, say the battery level moved
    Sleep(2500);
    EXPECT_EQ(logLinesFrom(from), std::vector<std::string>{});
    EXPECT_TRUE(program.answers());
}

TEST_F(PowerEvents, StatusMessageWithUnchangedBatterySourceDoesNothing) {
    onBattery();
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    size_t from = logSize();
    program.powerEvent(kPowerStatusChange);
    Sleep(2500);
    EXPECT_EQ(logLinesFrom(from), std::vector<std::string>{});
}

TEST_F(PowerEvents, UnpluggingAppliesBatteryStepKeepsMainsLevelAndBouncesScheme) {
    rememberSteps(2, 4, 2);
    startProgram();
    const std::string own = ownScheme(), user = "0";
    ASSERT_NE(own, "<missing>");
    ASSERT_EQ(activeSchemeText(), own);
    ASSERT_TRUE(waitLogQuiet(300));
    setSimValue("PanelLevel", 12); // the user turned the brightness down by hand on mains

    LogClock clock;
    size_t from = logSize();
    onBattery();
    program.powerEvent(kPowerStatusChange);
    ASSERT_TRUE(waitLineFrom(from, "SPGS 4")) << "the battery step was not applied";
    expectBounce(clock, from, user, own);
    long read = findLine(from, "GPLV"), applied = findLine(from, "SPGS 4");
    EXPECT_GE(read, 0) << "the mains level was not read";
    EXPECT_LT(read, applied);
    EXPECT_GE(findLine(applied, "SPLV 9"), 0) << "step 4's battery level";
    EXPECT_EQ(programValue("DC_Current_Step"), "4");
    EXPECT_EQ(programValue("CurrentStep"), "4");

    // Back on mains the level read when leaving mains comes back.
    size_t back = logSize();
    onMains();
    program.powerEvent(kPowerStatusChange);
    ASSERT_TRUE(waitLineFrom(back, "SPGS 2"));
    EXPECT_TRUE(waitLineFrom(findLine(back, "SPGS 2"), "SPLV 12")) << "the mains level was not kept";
    EXPECT_EQ(findLine(back, "SPLV 15"), -1);
}

TEST_F(PowerEvents, ResumeOnSameSourceBouncesSchemeAndShowsStep) {
    rememberSteps(3, 2, 3);
    ASSERT_TRUE(osd.start());
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    LogClock clock;
    size_t from = logSize();
    program.powerEvent(kSuspend);
    program.powerEvent(kResumeSuspend);
    // The bounce runs on the window's own thread; it keeps answering meanwhile.
    DWORD userTick = 0;
    ASSERT_TRUE(waitUntil([&] { return clock.tickOf("ACTIVATE 0", &userTick, from); }));
    DWORD asked = GetTickCount();
    EXPECT_TRUE(program.answers(900));
    printf("[ info ] answered %lu ms into the bounce, after %lu ms\n", asked - userTick,
           GetTickCount() - asked);
    expectBounce(clock, from, "0", own);
    EXPECT_TRUE(waitLineFrom(from, "OSD 3"));
    EXPECT_GT(findLine(from, "OSD 3"), findLine(from, "ACTIVATE " + own))
        << "shown before the scheme was back";
    EXPECT_EQ(countPrefixFrom(from, "SPGS "), 0u) << "no step is applied at resume";
}

// The bounce at resume keeps taking messages: a command already waiting in the queue runs at once,
// not after the user's second.
TEST_F(PowerEvents, CommandQueuedBehindResumeRunsDuringTheBounce) {
    rememberSteps(2, 2, 2);
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    LogClock clock;
    size_t from = logSize();
    program.powerEvent(kSuspend);
    program.powerEvent(kResumeSuspend);
    program.command(stepCommand(3));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    DWORD user = 0, step = 0;
    ASSERT_TRUE(waitUntil([&] { return clock.tickOf("ACTIVATE 0", &user) && clock.tickOf("SPGS 3", &step); }, 2000));
    printf("[ info ] the queued step came %ld ms into the user's second\n", long(step - user));
    EXPECT_LT(long(step - user), 600) << "the step waited for the bounce to end";
}

TEST_F(PowerEvents, ResumeOnAnotherSourceNeitherBouncesNorShows) {
    ASSERT_TRUE(osd.start());
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    size_t from = logSize();
    ASSERT_TRUE(program.sendPowerEvent(kSuspend)); // on mains
    onBattery();
    program.powerEvent(kResumeSuspend);
    // The clocks are probed first in any case: the resume has been handled once they are.
    ASSERT_TRUE(waitLineFrom(from, "GFRQ 2"));
    Sleep(2500);
    EXPECT_EQ(countPrefixFrom(from, "ACTIVATE "), 0u);
    EXPECT_EQ(countPrefixFrom(from, "OSD "), 0u);
    EXPECT_EQ(activeSchemeText(), ownScheme());
}

TEST_F(PowerEvents, ResumeOnBatteryAfterSuspendOnBatteryBounces) {
    onBattery();
    rememberSteps(2, 7, 7);
    ASSERT_TRUE(osd.start());
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    LogClock clock;
    size_t from = logSize();
    program.powerEvent(kSuspend);
    program.powerEvent(kResumeSuspend);
    expectBounce(clock, from, "0", own);
    EXPECT_TRUE(waitLineFrom(from, "OSD 7"));
}
