#pragma once

#include <cstdint>
#include <string>

namespace velmora {

/// Longest text of a 32-bit number: "-2147483648".
inline constexpr int kMaxNumberText = 11;

/// Writes the text form of `value` at `out` (plain decimal, a leading hyphen-minus for negatives, no sign
/// for zero or positives, no blanks, no leading zeros, no grouping); returns the end. No terminator.
char* writeNumberText(char* out, std::int32_t value);

/// The same text form as a string; every cell of a result row is shown in it.
std::string numberText(std::int32_t value);

} // namespace velmora
