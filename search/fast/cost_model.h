#pragma once
// The estimated costs that choose, per box, how its inner terms are solved (planInner) and how its
// two halves are joined (planJoin, declared in join.h): every calibrated figure of the engine's
// choices is in cost_model.cpp.

#include "search/fast/box.h"
#include "search/fast_search.h"

#include <array>
#include <cstdint>
#include <limits>

namespace velmora::fast {

struct InnerPlan {
    InnerMethod method = InnerMethod::Recursion;
    int tableTerms = 0; // terms 1..tableTerms in the table; 0 without one
    double estimateNs = std::numeric_limits<double>::infinity(); // of the automatic choice; not for a forced one
};

// A forced method in `options` is taken when its table fits the caps; otherwise, and for Automatic,
// the cheapest estimate wins. The solutions themselves cost the same whichever way is taken.
InnerPlan planInner(const Box& box, const std::array<Level, kTerms>& levels, const FastSearchOptions& options,
                    bool counting, std::int32_t target);

namespace join {
/// The partitioned join's partitions hold about this many inner combinations: with their table,
/// well inside the processor's second-level cache.
constexpr double kPartitionCombinations = 8192;

/// How many chunks a sweep's listing of `bytes` (its store and records) goes in, none above `budget`:
/// as few as the budget allows, or more while a chunk's fresh memory costs more to touch than
/// sweeping the inner side (`innerCombinations` in `innerRows` rows, keys in [0, span]) once more for
/// a further chunk.
double sweepChunks(double bytes, double budget, double innerCombinations, double innerRows, double span, int threads);
} // namespace join

} // namespace velmora::fast
