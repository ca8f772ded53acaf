#pragma once

// Counting by a sweep over the sums: the keys of both sides are visited window by window of the key
// range, each window's inner keys counted in a small array and the outer keys reading it. Within a
// row of a side the fast run's sums are sorted, so the keys of a window are one stretch of the row:
// each row keeps a pointer that only moves forward, and nothing but the small array is held.

#include "search/fast/join_parts.h"

namespace velmora::fast::join {

/// One side's keys, row by row: the key of element i of row b is base[b] + values[i], values sorted.
struct SweepSide {
    std::vector<std::int64_t> values;
    std::vector<std::int64_t> base;
};

/// The inner side's keys (sum - minimum) and the outer side's (target - minimum of the inner side -
/// sum): a match is an inner and an outer key that are equal.
SweepSide innerSweep(const Side& inner);
SweepSide outerSweep(const Side& outer, std::int64_t target, std::int64_t innerMin);

/// The number of equal pairs of keys in [0, span], on `threads` threads.
SolutionCount sweepCount(const SweepSide& inner, const SweepSide& outer, std::uint64_t span, int threads);

/// Estimated nanoseconds of sweepCount.
double sweepCost(double innerCombinations, double outerCombinations, double rows, double span);

} // namespace velmora::fast::join
