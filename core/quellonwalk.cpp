// The walk through QUELLON.INI: which windows the window closer looks up, and in what order.
#include "core/quellonwalk.h"

#include "core/decimal.h"

#include <cstring>

static const char kUnnumberedSection[] = "EXECUTE_MODULE";
static const char kClassKey[] = "WINDOWCLASS";
static const char kNameKey[] = "WINDOWNAME";

static bool isMissing(const char *value) {
    return std::strcmp(value, kQuellonMissing) == 0;
}

// Reads one section's entry: the class wins, and the title is read only when the class is missing.
// False when the section has neither key.
static bool lookUpSection(const QuellonIo &io, const char *section) {
    char value[kQuellonValueSize];
    io.readKey(io.context, section, kClassKey, value, sizeof value);
    if (!isMissing(value)) {
        io.close(io.context, QuellonLookup{value, nullptr});
        return true;
    }
    io.readKey(io.context, section, kNameKey, value, sizeof value);
    if (isMissing(value))
        return false;
    io.close(io.context, QuellonLookup{nullptr, value});
    return true;
}

unsigned walkQuellonIni(const QuellonIo &io) {
    // The unnumbered entry is optional: lacking it does not end the run.
    unsigned entries = lookUpSection(io, kUnnumberedSection) ? 1 : 0;
    for (unsigned n = 1;; ++n) {
        char section[sizeof kUnnumberedSection + 10];
        std::memcpy(section, kUnnumberedSection, sizeof kUnnumberedSection - 1);
        formatDecimal(n, section + sizeof kUnnumberedSection - 1, 11);
        if (!lookUpSection(io, section))
            return entries;
        ++entries;
    }
}
