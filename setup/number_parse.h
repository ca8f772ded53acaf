#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

enum class NumberParse {
    Ok,
    NotANumber,
    OutOfRange,
};

struct ParsedNumber {
    NumberParse status = NumberParse::NotANumber;
    std::int64_t value = 0;
};

/// Converts one number line (UTF-8) to a whole number in [min, max].
/// Accepted: blanks (space, tab, U+3000) around an optional sign (+ - ＋ － U+2212) directly followed by
/// decimal digits (ASCII or full-width) with at most one point (. or ．) and at least one digit.
/// A fractional part is rounded half to even with exact decimal arithmetic before the range check.
ParsedNumber parseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max);

} // namespace velmora
