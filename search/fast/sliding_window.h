#pragma once
// The counting step shared by the tables that count combinations per key.

#include <cstddef>
#include <vector>

namespace velmora::fast {

// Adds a term of `n` values whose keys step by `step` to counts of combinations per key: afterwards
// counts[x] is the sum of the former counts[x - i * step] for i in 0..n-1. A window slides along each
// residue class modulo `step`, so the cost is one pass over the keys whatever n is. `next` is scratch.
template <class Count>
void addTermToCounts(std::vector<Count>& counts, std::vector<Count>& next, std::size_t n, std::size_t step) {
    const std::size_t length = counts.size() + (n - 1) * step;
    next.assign(length, 0);
    for (std::size_t x = 0; x < length; ++x) {
        Count c = x >= step ? next[x - step] : 0;
        if (x < counts.size())
            c += counts[x];
        if (x >= n * step && x - n * step < counts.size())
            c -= counts[x - n * step];
        next[x] = c;
    }
    counts.swap(next);
}

} // namespace velmora::fast
