#pragma once

// What the result lists show and what a screen reader reads of them, for both windows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

class RowStore;

/// The text of `row` in `column` (0: the sums, 1..8: the values of terms 1..8) as its list shows it: the
/// number in plain decimal, ASCII only.
std::string cellText(const RowStore& store, std::size_t row, int column);

/// The first character of a number's text, without writing the text: '-' or its leading digit.
char leadingCharacter(std::int32_t value);

/// The name a screen reader gives the list of `column` (UTF-8): "合計" for List1, the sums; for List2 ..
/// List9 the heading of the term, as its label shows it, without access-key marks.
std::string listAccessibleName(int column, std::string_view heading);

} // namespace velmora
