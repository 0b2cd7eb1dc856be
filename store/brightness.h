// The display brightness Windows keeps in a scheme from Vista on.
#pragma once
#include <windows.h>

// Writes the panel levels the program sends (battery: the step's, mains: acPanelLevel) into `scheme`,
// so its activation does not undo them.
void writeBrightness(const GUID &scheme);
