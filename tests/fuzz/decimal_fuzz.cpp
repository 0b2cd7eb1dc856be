// Fuzz target: registry text of any bytes and length parsed as a decimal number, and numbers formatted
// into buffers of any size.
#include "core/decimal.h"
#include "require.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Registry text is terminated by the reader; embedded zeros end it early, as they would.
    std::string text(reinterpret_cast<const char *>(data), size);
    int value = parseDecimal(text.c_str());

    // Text that is a plain number below 2^32 reads back the same when formatted again.
    const char *digits = text.c_str();
    size_t length = std::strlen(digits);
    bool plain = length > 0 && length <= 9 && std::strspn(digits, "0123456789") == length &&
                 (digits[0] != '0' || length == 1);
    char buf[16];
    if (plain) {
        REQUIRE(formatDecimal(unsigned(value), buf, sizeof buf) == length);
        REQUIRE(std::strcmp(buf, digits) == 0);
    }

    // Any buffer size: terminated inside, length within it, a prefix of the whole text.
    size_t room = size ? data[0] % 13 : 0;
    char *out = room ? static_cast<char *>(std::malloc(room)) : nullptr;
    size_t written = formatDecimal(unsigned(value), out, room);
    char whole[16];
    size_t wholeLength = formatDecimal(unsigned(value), whole, sizeof whole);
    if (room) {
        REQUIRE(written < room && std::strlen(out) == written);
        REQUIRE(std::strncmp(out, whole, written) == 0);
        REQUIRE(written == (wholeLength < room ? wholeLength : room - 1));
    } else {
        REQUIRE(written == 0);
    }
    std::free(out);
    return 0;
}
