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

// The source whose offer a requested step is checked against: the one the recorded steps tell, else
// the one the power status reports (ACLineStatus: 0 battery, 1 mains); Either when neither tells.
SourceSeen sourceForStepRequest(unsigned currentStep, unsigned acStep, unsigned dcStep, unsigned acLineStatus);

// Whether `source` offers `step`, by the tray program's own rule and limits; Either offers every step.
bool sourceOffersStep(SourceSeen source, unsigned step);

// The steps `source` offers as text, "1, 2, 3, 5 and 6", cut to fit `size` (terminated whenever
// size > 0).
void describeOfferedSteps(SourceSeen source, char *text, unsigned size);
