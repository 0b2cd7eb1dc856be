// Arguments of the control command: what each one asks for, and what it refuses.
#include "core/control.h"

#include <gtest/gtest.h>

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
        if (parse == ControlParse::Ok)
            EXPECT_EQ(controlCommand(request), c.command) << line;
    }
}

TEST(ControlStatus, TheSourceIsTheOneWhoseRecordedStepIsInForce) {
    EXPECT_EQ(sourceOfStep(3, 3, 5), SourceSeen::Mains);
    EXPECT_EQ(sourceOfStep(5, 3, 5), SourceSeen::Battery);
    EXPECT_EQ(sourceOfStep(2, 2, 2), SourceSeen::Either);
    EXPECT_EQ(sourceOfStep(4, 3, 5), SourceSeen::Either);
}
