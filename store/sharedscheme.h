// From Windows Vista on the machine has one "Kelvane" scheme for every session's program: each running
// program marks its session, and only the last one to leave hands the scheme back.
#pragma once

// Marks this session's program as working in the shared scheme, for as long as it runs (NT 6+ only).
void holdSharedScheme();

// Whether another session's program still works in the shared scheme (false before Vista).
bool otherSessionHoldsScheme();

// Whether this session is not the one in front of the notebook while the program of the one in front
// runs: such a program records its step changes and changes nothing on the machine.
bool inBackgroundSession();

// This process's session (false on the 9x family, which has none).
bool currentSession(unsigned long &session);
