// Decimal text conversions used for the program's registry values.
#include "core/decimal.h"

#include <cstdio>

int parseDecimal(const char *text) {
    if (!text)
        return 0;
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        ++text;
    }
    unsigned value = 0;
    while (*text >= '0' && *text <= '9')
        value = value * 10u + unsigned(*text++ - '0');
    return int(negative ? 0u - value : value);
}

size_t formatDecimal(unsigned value, char *out, size_t size) {
    if (!out || size == 0)
        return 0;
    int n = std::snprintf(out, size, "%u", value);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return size_t(n) < size ? size_t(n) : size - 1;
}
