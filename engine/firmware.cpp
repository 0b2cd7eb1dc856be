// The firmware's ACPI methods: the program's two ways into the maker's method library.
#include "engine/firmware.h"

#include "machine/machine.h"

namespace firmware {

static_assert(SFUN == 0x4E554653 && QMOD == 0x444F4D51 && SPGS == 0x53475053 && SDSP == 0x50534453);
static_assert(GFRQ == 0x51524647 && SFRQ == 0x51524653 && SPLV == 0x564C5053 && GPLV == 0x564C5047);

// The library reports success as any nonzero value; the program's operations answer 1 or 0.
int None_Method(DWORD method, DWORD *out) {
    return machine::None_Method(method, out) ? 1 : 0;
}

int One_Method(DWORD method, DWORD argument, DWORD *out) {
    return machine::One_Method(method, argument, out) ? 1 : 0;
}

} // namespace firmware
