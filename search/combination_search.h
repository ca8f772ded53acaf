#pragma once

#include "search/solution_count.h"
#include "setup/search_setup.h"

#include <array>
#include <cstdint>
#include <span>

namespace velmora {

/// One match: the weighted sum (always the target) and the values of terms 1..8 (values[0] is term 1).
struct Solution {
    std::int32_t sum = 0;
    std::array<std::int16_t, SearchSetup::kTermCount> values{};

    friend bool operator==(const Solution&, const Solution&) = default;
};

/// Receives the solutions of a run in enumeration order, a batch at a time.
/// It may throw (for example RunTimeError 7 when it cannot hold more); the run then stops with that error.
class SolutionSink {
public:
    virtual ~SolutionSink() = default;
    virtual void accept(std::span<const Solution> solutions) = 0;
    /// The run is about to work a while before its next solutions: a sink that holds solutions back
    /// hands them on now, so that a reader is not kept waiting for rows already found.
    virtual void idle() {}
};

/// The reference engine: eight nested loops, term 8 outermost and term 1 innermost, every product and
/// addition of every combination tested for signed 32-bit overflow with the grouping
/// (((t1 + t2) + t3) + t4) and (((t5 + t6) + t7) + t8), then second half + first half.
/// Hands every solution to `sink` in order; at the first overflow, hands on every solution found before
/// it and throws RunTimeError 6. Counters are wide enough that a range ending at 32767 is searched whole.
void referenceSearch(const SearchSetup& setup, SolutionSink& sink);

enum class SearchEngine {
    Reference, ///< referenceSearch
    Fast,      ///< the default: the same solutions in the same order and the same overflow stop
};

class SearchProgress;

/// Runs the chosen engine; the fast one tells `progress` (when given) how far it has got.
void combinationSearch(const SearchSetup& setup, SolutionSink& sink, SearchEngine engine = SearchEngine::Fast,
                       SearchProgress* progress = nullptr);

/// What a run would hand on, counted without listing: the number of solutions, and whether the run
/// would then stop with run-time error 6.
struct SearchCount {
    SolutionCount solutions;
    bool overflow = false;

    friend bool operator==(const SearchCount&, const SearchCount&) = default;
};

/// Counts the solutions of a run in time that follows the structure of the setup, not the number of
/// solutions (counts of 10^13 and more come back in well under a second). Does not throw on overflow:
/// it reports it in the result.
SearchCount countSolutions(const SearchSetup& setup, SearchProgress* progress = nullptr);

} // namespace velmora
