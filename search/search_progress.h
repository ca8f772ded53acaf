#pragma once

#include "search/solution_count.h"

namespace velmora {

/// Told now and then how a search is getting on (about every 0.1 s while it runs, on the thread that
/// started it): the share of its work done, from 0 to 1, and the solutions found so far. It may not
/// throw.
class SearchProgress {
public:
    virtual ~SearchProgress() = default;
    virtual void report(double done, const SolutionCount& solutions) noexcept = 0;
};

} // namespace velmora
