// Settings held by Group Policy, as PowerSettingAccessCheck reports them.
#include "store/heldsettings.h"

#include "machine/machine.h"
#include "machine/powerguids.h"
#include "store/regtext.h"

#include <cstring>

bool heldByPolicy(const GUID &setting) {
    return machine::PowerSettingAccessCheck(kAccessAcValue, &setting) ==
           ERROR_ACCESS_DISABLED_BY_POLICY;
}

void recordHeldSettings() {
    static const struct {
        const GUID *setting;
        const char *name;
    } kNamed[] = {
        {&kStandbyTimeout, "standby time-out"},
        {&kHibernateTimeout, "hibernate time-out"},
        {&kVideoPowerdownTimeout, "display time-out"},
        {&kDiskPowerdownTimeout, "disk time-out"},
        {&kProcessorThrottleMaximum, "processor maximum"},
        {&kProcessorThrottleMinimum, "processor minimum"},
        {&kVideoBrightness, "display brightness"},
    };
    char names[160] = "";
    for (const auto &n : kNamed)
        if (heldByPolicy(*n.setting) && strlen(names) + strlen(n.name) + 3 < sizeof names) {
            if (names[0])
                strcat(names, ", ");
            strcat(names, n.name);
        }
    writeProgramText("HeldByPolicy", names);
}
