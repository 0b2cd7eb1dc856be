// The firmware's ACPI methods, reached through the maker's method library VKTMETHOD.
#pragma once
#include <windows.h>

namespace firmware {

// An ACPI method name packed into 32 bits, first letter in the low byte.
constexpr DWORD packMethodName(const char (&name)[5]) {
    return DWORD(BYTE(name[0])) | DWORD(BYTE(name[1])) << 8 | DWORD(BYTE(name[2])) << 16 |
           DWORD(BYTE(name[3])) << 24;
}

// Every method the program runs, with what it relies on.
constexpr DWORD SFUN = packMethodName("SFUN"); // none: function mask (0x40 supported, 0x200 clock control)
constexpr DWORD QMOD = packMethodName("QMOD"); // 0 queries the step-5 mode switch; 1 enters, 2 leaves step 5
constexpr DWORD SPGS = packMethodName("SPGS"); // the step in force, 1-8
constexpr DWORD SDSP = packMethodName("SDSP"); // display switch: 3 entering step 6, 1 leaving it
constexpr DWORD GFRQ = packMethodName("GFRQ"); // clock index 0-2: its clock in MHz, failure when missing
constexpr DWORD SFRQ = packMethodName("SFRQ"); // clock index 0-2 to run at
constexpr DWORD SPLV = packMethodName("SPLV"); // panel level 0-15
constexpr DWORD GPLV = packMethodName("GPLV"); // none: the panel level in the low 4 bits

constexpr DWORD kFunctionSupported = 0x40;     // SFUN: the machine supports the utility
constexpr DWORD kFunctionClockControl = 0x200; // SFUN: processor clock control is offered

// Runs a method without argument; 1 when it ran (then `out` holds its result), 0 when it failed.
int None_Method(DWORD method, DWORD *out);
// Runs a method with one argument; 1 when it ran (then `out` holds its result), 0 when it failed.
int One_Method(DWORD method, DWORD argument, DWORD *out);

} // namespace firmware
