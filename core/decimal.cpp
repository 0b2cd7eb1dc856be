// Decimal text conversions used for the program's registry values.
#include "core/decimal.h"

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

// By hand rather than through snprintf: the small programs then carry no C library formatting.
size_t formatDecimal(unsigned value, char *out, size_t size) {
    if (!out || size == 0)
        return 0;
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    // Cut like snprintf: the leading digits that fit.
    size_t len = count < size ? count : size - 1;
    for (size_t i = 0; i < len; ++i)
        out[i] = digits[count - 1 - i];
    out[len] = '\0';
    return len;
}
