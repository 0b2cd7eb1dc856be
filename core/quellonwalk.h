// The walk through QUELLON.INI: which windows the window closer looks up, and in what order.
#pragma once
#include <cstddef>

// Values are read into buffers of this size; the profile reader cuts longer ones.
constexpr size_t kQuellonValueSize = 1024;

// Every key is read with this default, so a value that reads exactly so counts as missing.
constexpr const char kQuellonMissing[] = "ERROR";

// One entry of the list: a lookup by class alone or by title alone (the other is null).
struct QuellonLookup {
    const char *windowClass;
    const char *windowName;
};

// What the walk needs from the platform.
struct QuellonIo {
    // Reads `key` of `section` into `out` (`size` bytes, terminated), kQuellonMissing when absent.
    void (*readKey)(void *context, const char *section, const char *key, char *out, size_t size);
    // Looks the window up and asks it to close; a window not found is passed over.
    void (*close)(void *context, const QuellonLookup &lookup);
    void *context;
};

// Walks the unnumbered entry, then the numbered ones until a section has neither key;
// returns how many entries were looked up.
unsigned walkQuellonIni(const QuellonIo &io);
