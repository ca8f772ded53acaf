#include "search/fast/sparse_table.h"

#include "search/fast/sliding_window.h"

#include <algorithm>
#include <numeric>

namespace velmora::fast {

SparseTable::SparseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, bool counting)
    : m_terms(terms), m_counting(counting) {
    std::int64_t g = 0;
    double entries = 1;
    for (int k = 0; k < terms; ++k) {
        m_lo[static_cast<std::size_t>(k)] = box.lo[static_cast<std::size_t>(k)];
        m_hi[static_cast<std::size_t>(k)] = box.hi[static_cast<std::size_t>(k)];
        const std::int64_t w = weights[static_cast<std::size_t>(k)];
        m_min += productMin(w, box, k);
        m_max += productMax(w, box, k);
        g = std::gcd(g, w);
        entries *= rangeSize(box, k);
    }
    m_gcd = g == 0 ? 1 : g;
    m_divisor = ExactDivisor(static_cast<std::uint64_t>(m_gcd));
    const std::uint64_t maxKey = m_divisor.divide(static_cast<std::uint64_t>(m_max - m_min));
    const auto n = static_cast<std::uint64_t>(entries);
    if (maxKey >= n) {
        m_hashed = true;
        buildHashed(box, weights, terms, n, maxKey);
        return;
    }
    const std::size_t buckets = static_cast<std::size_t>(maxKey) + 1;
    if (counting) {
        m_offsets.assign(buckets + 1, 0);
        countKeys(box, weights, terms, m_offsets.data() + 1);
        std::partial_sum(m_offsets.begin(), m_offsets.end(), m_offsets.begin());
        return;
    }
    m_offsets.resize(buckets + 1);
    m_values.resize(n + kRunPadding);
    buildByMerging(box, weights, terms);
    std::fill(m_values.end() - kRunPadding, m_values.end(), 0);
}

bool SparseTable::builtFor(const Box& box, int terms, bool counting) const {
    if (terms != m_terms || counting != m_counting)
        return false;
    for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
        if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
            return false;
    return true;
}

// counts[key] = the number of inner combinations with that key, term by term.
void SparseTable::countKeys(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                            std::uint32_t* counts) const {
    std::vector<std::uint32_t> current(1, 1), next;
    std::uint32_t factor = 1;
    for (int k = 0; k < terms; ++k) {
        const std::int64_t w = weights[static_cast<std::size_t>(k)];
        const auto n = static_cast<std::size_t>(rangeSize(box, k));
        if (w == 0) {
            factor *= static_cast<std::uint32_t>(n);
            continue;
        }
        addTermToCounts(current, next, n, static_cast<std::size_t>((w < 0 ? -w : w) / m_gcd));
    }
    for (std::size_t x = 0; x < current.size(); ++x)
        counts[x] = current[x] * factor;
}

} // namespace velmora::fast
