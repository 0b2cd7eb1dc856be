// Arguments of the control command and the commands it posts to the tray program.
#include "core/control.h"

#include "core/steps.h"

#include <cstdio>
#include <cstring>

// Decimal digits only, so "3x", "+3" and "" are refused rather than read as a number.
static bool parseStep(const char *text, unsigned &step) {
    size_t length = strlen(text);
    if (length == 0 || length > 3)
        return false;
    unsigned value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    if (!isStep(value))
        return false;
    step = value;
    return true;
}

ControlParse parseControlArguments(int count, const char *const *args, ControlRequest &request) {
    request = ControlRequest{};
    if (count < 1)
        return ControlParse::Usage;
    const char *verb = args[0];
    if (strcmp(verb, "--help") == 0 || strcmp(verb, "-h") == 0 || strcmp(verb, "/?") == 0 ||
        strcmp(verb, "help") == 0) {
        request.action = ControlAction::Help;
        return count == 1 ? ControlParse::Ok : ControlParse::Usage;
    }
    if (strcmp(verb, "step") == 0) {
        if (count != 2)
            return ControlParse::Usage;
        request.action = ControlAction::Step;
        return parseStep(args[1], request.step) ? ControlParse::Ok : ControlParse::BadStep;
    }
    static const struct {
        const char *name;
        ControlAction action;
    } kPlain[] = {{"cycle", ControlAction::Cycle},
                  {"autoperf", ControlAction::AutoPerformance},
                  {"exit", ControlAction::Exit},
                  {"status", ControlAction::Status}};
    for (const auto &plain : kPlain) {
        if (strcmp(verb, plain.name) == 0) {
            request.action = plain.action;
            return count == 1 ? ControlParse::Ok : ControlParse::Usage;
        }
    }
    return ControlParse::UnknownCommand;
}

unsigned controlCommand(const ControlRequest &request) {
    switch (request.action) {
    case ControlAction::Step:
        return isStep(request.step) ? kPostedStepBase + request.step : 0;
    case ControlAction::Cycle:
        return kPostedStepCycle;
    case ControlAction::AutoPerformance:
        return kPostedAutoPerformance;
    case ControlAction::Exit:
        return kPostedExit;
    case ControlAction::Help:
    case ControlAction::Status:
        break;
    }
    return 0;
}

SourceSeen sourceOfStep(unsigned currentStep, unsigned acStep, unsigned dcStep) {
    bool mains = currentStep == acStep, battery = currentStep == dcStep;
    if (mains && !battery)
        return SourceSeen::Mains;
    if (battery && !mains)
        return SourceSeen::Battery;
    return SourceSeen::Either;
}

SourceSeen sourceForStepRequest(unsigned currentStep, unsigned acStep, unsigned dcStep, unsigned acLineStatus) {
    // A step only the program recorded is its own view of the source; the power status is what it
    // read at start and follows through its power broadcasts.
    SourceSeen seen = sourceOfStep(currentStep, acStep, dcStep);
    if (seen != SourceSeen::Either)
        return seen;
    if (acLineStatus == 0)
        return SourceSeen::Battery;
    if (acLineStatus == 1)
        return SourceSeen::Mains;
    return SourceSeen::Either;
}

bool sourceOffersStep(SourceSeen source, unsigned step) {
    if (!isStep(step))
        return false;
    switch (source) {
    case SourceSeen::Mains:
        return acOffersStep(step, kAcFirstStep, kAcLastStep);
    case SourceSeen::Battery:
        return dcOffersStep(step, kDcFirstStep);
    case SourceSeen::Either:
        break;
    }
    return true;
}

void describeOfferedSteps(SourceSeen source, char *text, unsigned size) {
    if (size == 0)
        return;
    text[0] = '\0';
    unsigned offered[kStepCount], count = 0;
    for (unsigned step = kFirstStep; step <= kLastStep; ++step)
        if (sourceOffersStep(source, step))
            offered[count++] = step;
    size_t used = 0;
    for (unsigned i = 0; i < count && used < size; ++i) {
        const char *separator = i == 0 ? "" : (i + 1 == count ? " and " : ", ");
        int n = snprintf(text + used, size - used, "%s%u", separator, offered[i]);
        if (n < 0)
            break;
        used += size_t(n);
    }
}
