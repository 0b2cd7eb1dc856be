// The program's own Windows power scheme: found or written at start-up, given back at the end.
#pragma once

// Finds or writes the program's power scheme "Kelvane" and activates it; 0 when start-up must end.
int provisionPowerScheme(int startedByRunEntry);

// Gives the active scheme back to the user (or scheme 0) and deletes the program's scheme.
void restoreUserScheme();

// Every way out: the scheme active at start is made active again and the program's deleted, unless
// another session's program still uses it.
void handBackAtExit();
