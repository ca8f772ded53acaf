#include "setup/number_parse.h"

#include <string_view>

namespace velmora {
namespace {

// Returns the length of the UTF-8 sequence `seq` at the front of `s` when it matches, else 0.
std::size_t startsWith(std::string_view s, std::string_view seq) {
    return s.substr(0, seq.size()) == seq ? seq.size() : 0;
}

std::size_t blankAt(std::string_view s) {
    if (!s.empty() && (s[0] == ' ' || s[0] == '\t'))
        return 1;
    return startsWith(s, "\u3000");
}

std::size_t blankBefore(std::string_view s) {
    if (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        return 1;
    constexpr std::string_view ideographicSpace = "\u3000";
    if (s.size() >= ideographicSpace.size() && s.substr(s.size() - ideographicSpace.size()) == ideographicSpace)
        return ideographicSpace.size();
    return 0;
}

// Reads one digit (ASCII or full-width) at the front of `s`; returns its length and sets `digit`.
std::size_t digitAt(std::string_view s, int& digit) {
    if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
        digit = s[0] - '0';
        return 1;
    }
    // Full-width digits are U+FF10 .. U+FF19: EF BC 90 .. EF BC 99.
    if (s.size() >= 3 && static_cast<unsigned char>(s[0]) == 0xEF && static_cast<unsigned char>(s[1]) == 0xBC) {
        const auto third = static_cast<unsigned char>(s[2]);
        if (third >= 0x90 && third <= 0x99) {
            digit = third - 0x90;
            return 3;
        }
    }
    return 0;
}

std::size_t pointAt(std::string_view s) {
    if (std::size_t n = startsWith(s, "."))
        return n;
    return startsWith(s, "\uFF0E");
}

std::size_t signAt(std::string_view s, bool& negative) {
    for (std::string_view plus : {std::string_view("+"), std::string_view("\uFF0B")}) {
        if (std::size_t n = startsWith(s, plus)) {
            negative = false;
            return n;
        }
    }
    for (std::string_view minus : {std::string_view("-"), std::string_view("\uFF0D"), std::string_view("\u2212")}) {
        if (std::size_t n = startsWith(s, minus)) {
            negative = true;
            return n;
        }
    }
    return 0;
}

} // namespace

ParsedNumber parseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max) {
    while (std::size_t n = blankAt(text))
        text.remove_prefix(n);
    while (std::size_t n = blankBefore(text))
        text.remove_suffix(n);

    bool negative = false;
    text.remove_prefix(signAt(text, negative));

    // Magnitude of the integer part, saturated: anything beyond kCap is out of every field's range.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 40;
    std::uint64_t magnitude = 0;
    int digits = 0;
    int digit = 0;
    while (std::size_t n = digitAt(text, digit)) {
        magnitude = magnitude >= kCap ? kCap : magnitude * 10 + static_cast<std::uint64_t>(digit);
        ++digits;
        text.remove_prefix(n);
    }

    // Fraction: only how it compares with one half matters.
    int firstFraction = -1;   // first digit after the point, -1 when there is none
    bool restNonZero = false; // any non-zero digit after the first
    if (std::size_t n = pointAt(text)) {
        text.remove_prefix(n);
        while (std::size_t m = digitAt(text, digit)) {
            if (firstFraction < 0)
                firstFraction = digit;
            else if (digit != 0)
                restNonZero = true;
            ++digits;
            text.remove_prefix(m);
        }
    }

    if (!text.empty() || digits == 0)
        return {NumberParse::NotANumber, 0};

    bool roundUp = false;
    if (firstFraction > 5 || (firstFraction == 5 && restNonZero))
        roundUp = true;
    else if (firstFraction == 5)
        roundUp = (magnitude % 2) == 1; // exactly half: to the even neighbour
    if (roundUp && magnitude < kCap)
        ++magnitude;

    if (magnitude >= kCap)
        return {NumberParse::OutOfRange, 0};
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < min || value > max)
        return {NumberParse::OutOfRange, 0};
    return {NumberParse::Ok, value};
}

} // namespace velmora
