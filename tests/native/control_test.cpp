// Arguments of the control command: what each one asks for, and what it refuses.
#include "core/control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
struct Case {
    std::vector<const char *> args;
    ControlParse parse;
    unsigned command; // the wParam the request posts
};
} // namespace

TEST(ControlArguments, EachCommandLineGivesItsRequestOrItsRefusal) {
    const Case cases[] = {
        {{"step", "1"}, ControlParse::Ok, 32969},
        {{"step", "8"}, ControlParse::Ok, 32976},
        {{"step", "03"}, ControlParse::Ok, 32971},
        {{"cycle"}, ControlParse::Ok, 92},
        {{"autoperf"}, ControlParse::Ok, 33077},
        {{"exit"}, ControlParse::Ok, 105},
        {{"status"}, ControlParse::Ok, 0},
        {{"--help"}, ControlParse::Ok, 0},
        {{"step", "0"}, ControlParse::BadStep, 0},
        {{"step", "9"}, ControlParse::BadStep, 0},
        {{"step", "-1"}, ControlParse::BadStep, 0},
        {{"step", "3x"}, ControlParse::BadStep, 0},
        {{"step", ""}, ControlParse::BadStep, 0},
        {{"step", "4294967299"}, ControlParse::BadStep, 0},
        {{"step"}, ControlParse::Usage, 0},
        {{"step", "2", "3"}, ControlParse::Usage, 0},
        {{"cycle", "now"}, ControlParse::Usage, 0},
        {{}, ControlParse::Usage, 0},
        {{"Step", "2"}, ControlParse::UnknownCommand, 0},
        {{"reboot"}, ControlParse::UnknownCommand, 0},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const char *arg : c.args)
            line += std::string(arg) + " ";
        ControlRequest request;
        ControlParse parse = parseControlArguments(int(c.args.size()), c.args.data(), request);
        EXPECT_EQ(parse, c.parse) << line;
        if (parse == ControlParse::Ok) {
            EXPECT_EQ(controlCommand(request), c.command) << line;
        }
    }
}

TEST(ControlStatus, TheSourceIsTheOneWhoseRecordedStepIsInForce) {
    EXPECT_EQ(sourceOfStep(3, 3, 5), SourceSeen::Mains);
    EXPECT_EQ(sourceOfStep(5, 3, 5), SourceSeen::Battery);
    EXPECT_EQ(sourceOfStep(2, 2, 2), SourceSeen::Either);
    EXPECT_EQ(sourceOfStep(4, 3, 5), SourceSeen::Either);
}

TEST(ControlStep, ARequestIsCheckedAgainstTheSourceTheProgramIsOn) {
    const struct {
        unsigned current, ac, dc, acLine;
        SourceSeen source;
    } cases[] = {
        {3, 3, 5, 0, SourceSeen::Mains},    // the records win over the status
        {5, 3, 5, 1, SourceSeen::Battery},
        {2, 2, 2, 0, SourceSeen::Battery},  // records that cannot tell: the status does
        {2, 2, 2, 1, SourceSeen::Mains},
        {2, 2, 2, 255, SourceSeen::Either}, // neither tells
        {0, 0, 0, 1, SourceSeen::Mains},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sourceForStepRequest(c.current, c.ac, c.dc, c.acLine), c.source)
            << c.current << " " << c.ac << " " << c.dc << " " << c.acLine;
}

TEST(ControlStep, EachSourceNamesTheStepsItOffers) {
    const struct {
        SourceSeen source;
        const char *offered;
    } cases[] = {
        {SourceSeen::Mains, "1, 2, 3, 5 and 6"},
        {SourceSeen::Battery, "2, 3, 4, 5, 6, 7 and 8"},
        {SourceSeen::Either, "1, 2, 3, 4, 5, 6, 7 and 8"},
    };
    for (const auto &c : cases) {
        char text[64];
        describeOfferedSteps(c.source, text, sizeof text);
        EXPECT_STREQ(text, c.offered);
        for (unsigned step = 0; step <= 9; ++step)
            EXPECT_EQ(sourceOffersStep(c.source, step), step >= 1 && step <= 8 && strchr(c.offered, char('0' + step)))
                << c.offered << " " << step;
    }
    char small[6];
    describeOfferedSteps(SourceSeen::Mains, small, sizeof small);
    EXPECT_STREQ(small, "1, 2,");
}
