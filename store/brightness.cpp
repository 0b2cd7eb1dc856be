// Windows applies a scheme's brightness at every activation: the program's scheme carries the levels
// the program sends, as the percentages the configuration dialog shows.
#include "store/brightness.h"

#include "core/schememapping.h"
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "state/appstate.h"
#include "store/heldsettings.h"

void writeBrightness(const GUID &scheme) {
    if (heldByPolicy(kVideoBrightness))
        return;
    machine::PowerWriteACValueIndex(nullptr, &scheme, &kVideoSubgroup, &kVideoBrightness,
                                    brightnessPercent(app.acPanelLevel));
    machine::PowerWriteDCValueIndex(nullptr, &scheme, &kVideoSubgroup, &kVideoBrightness,
                                    brightnessPercent(app.activeSettings.panelLevel));
}
