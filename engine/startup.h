// What the program learns and loads at start-up: platform, firmware and power capabilities and the
// program's saved values.
#pragma once

// Probes platform, firmware and power capabilities, loads the start-up settings and provisions the
// program's power scheme; 1 when the program may run, 0 when start-up must end.
int probeCapabilities(int forceThrottle, int startedByRunEntry);

// Reads whether the ambient-light control drives the panel ("ALSC_CONTROL"); sets panelControl.
void readPanelControl();

// Reads the program's registry values with their defaults and clamps and loads the step in force.
int loadStartupSettings();
