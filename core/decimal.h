// Decimal text conversions used for the program's registry values.
#pragma once
#include <cstddef>

// Reads decimal text the way StrToIntA does: an optional sign, then the leading digits;
// text without digits gives 0. Overflow wraps like the 32-bit original.
int parseDecimal(const char *text);

// Writes value as decimal text into out (always terminated); returns the text's length.
size_t formatDecimal(unsigned value, char *out, size_t size);
