#include "search/number_text.h"

namespace velmora {

char* writeNumberText(char* out, std::int32_t value) {
    // Work on the magnitude in 32 unsigned bits so that -2147483648 needs no special case.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

std::string numberText(std::int32_t value) {
    char buffer[kMaxNumberText];
    return std::string(buffer, writeNumberText(buffer, value));
}

} // namespace velmora
