#pragma once

#include "setup/search_setup.h"

#include <array>
#include <cstdint>
#include <optional>

namespace velmora {

/// Values of terms 1..8 (values[0] is term 1), as the engines' counters hold them.
using Combination = std::array<std::int32_t, SearchSetup::kTermCount>;

/// The first combination, in enumeration order (term 8 outermost, term 1 fastest), whose evaluation
/// overflows 32-bit arithmetic; nothing when the whole run completes (including when a range is empty).
/// Takes O(8 x 30 x 16) steps whatever the ranges.
std::optional<Combination> firstOverflow(const SearchSetup& setup);

/// True when evaluating `values` overflows (any product, partial sum of a half, or the final addition).
bool overflows(const SearchSetup& setup, const Combination& values);

} // namespace velmora
