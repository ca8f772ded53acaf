#pragma once
// The counting table of meet in the middle.

#include "search/fast/arithmetic.h"
#include "search/fast/box.h"
#include "search/solution_count.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velmora::fast {

// How many combinations of the inner terms make each reachable sum. Terms of weight 0 stay out of the
// table and multiply its counts; with them out, one count is at most 65536^7, so 128 bits hold it.
// Built term by term with a sliding window: O(reachable sums) per term.
class DenseTable {
public:
    DenseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms);

    bool builtFor(const Box& box, int terms) const;

    SolutionCount count(std::int64_t rest) const {
        if (rest < m_min || rest > m_max)
            return {};
        const auto offset = static_cast<std::uint64_t>(rest - m_min);
        if (m_gcd > 1 && !m_divisor.divides(offset))
            return {};
        return m_factor * SolutionCount(m_counts[m_divisor.divide(offset)]);
    }

private:
    int m_terms = 0;
    std::array<std::int32_t, kTerms> m_lo{};
    std::array<std::int32_t, kTerms> m_hi{};
    std::int64_t m_min = 0;
    std::int64_t m_max = 0;
    std::int64_t m_gcd = 1;
    ExactDivisor m_divisor;
    SolutionCount m_factor = 1;
    std::vector<unsigned __int128> m_counts;
};

} // namespace velmora::fast
