#include "search/fast/dense_table.h"

#include "search/fast/sliding_window.h"

#include <numeric>

namespace velmora::fast {

DenseTable::DenseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms)
    : m_terms(terms) {
    std::int64_t g = 0;
    for (int k = 0; k < terms; ++k) {
        m_lo[static_cast<std::size_t>(k)] = box.lo[static_cast<std::size_t>(k)];
        m_hi[static_cast<std::size_t>(k)] = box.hi[static_cast<std::size_t>(k)];
        g = std::gcd(g, weights[static_cast<std::size_t>(k)]);
    }
    m_gcd = g == 0 ? 1 : g;
    m_divisor = ExactDivisor(static_cast<std::uint64_t>(m_gcd));
    std::vector<unsigned __int128> next;
    m_counts.assign(1, 1);
    for (int k = 0; k < terms; ++k) {
        const std::int64_t w = weights[static_cast<std::size_t>(k)];
        const auto n = static_cast<std::uint64_t>(rangeSize(box, k));
        if (w == 0) {
            m_factor *= n;
            continue;
        }
        m_min += productMin(w, box, k);
        m_max += productMax(w, box, k);
        addTermToCounts(m_counts, next, n, static_cast<std::size_t>((w < 0 ? -w : w) / m_gcd));
    }
}

bool DenseTable::builtFor(const Box& box, int terms) const {
    if (terms != m_terms)
        return false;
    for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
        if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
            return false;
    return true;
}

} // namespace velmora::fast
