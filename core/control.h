// The tray program as other programs drive it: its window, the commands they post to it, and the
// arguments of the control command kelvanectl.
#pragma once

// The main window is found by both names together.
constexpr char kProgramWindowClass[] = "LUMORA";
constexpr char kProgramWindowTitle[] = "Lumora";

// Commands other programs post to that window (the whole WM_COMMAND wParam).
constexpr unsigned kPostedStepCycle = 92;
constexpr unsigned kPostedExit = 105;
constexpr unsigned kPostedStepBase = 32968; // + step, 1-8
constexpr unsigned kPostedAutoPerformance = 33077;

enum class ControlAction { Help, Step, Cycle, AutoPerformance, Exit, Status };

enum class ControlParse {
    Ok,
    Usage,          // missing or surplus arguments
    UnknownCommand, // the first argument names no command
    BadStep,        // the step is not a number from 1 to 8
};

struct ControlRequest {
    ControlAction action = ControlAction::Help;
    unsigned step = 0; // for ControlAction::Step
};

// Reads the arguments after the program name.
ControlParse parseControlArguments(int count, const char *const *args, ControlRequest &request);

// The WM_COMMAND wParam an action posts; 0 for the actions that post nothing.
unsigned controlCommand(const ControlRequest &request);

// Which power source the step in force was applied for, told from the steps the program records:
// an application records the step in force and the step of its own source, so a source whose
// recorded step differs from the step in force cannot be the one in force.
enum class SourceSeen { Mains, Battery, Either };
SourceSeen sourceOfStep(unsigned currentStep, unsigned acStep, unsigned dcStep);
