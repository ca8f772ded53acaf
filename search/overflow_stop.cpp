#include "search/overflow_stop.h"

#include <algorithm>
#include <limits>

namespace velmora {
namespace {

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();

// The fifteen intermediate values of one evaluation, each the weighted sum of a set of terms (bit k is
// term k+1): the eight products, the partial sums of each half, and the whole sum.
constexpr std::array<unsigned, 15> kForms = {
    0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, // products
    0x03, 0x07, 0x0f,                               // (t1 + t2), + t3, + t4
    0x30, 0x70, 0xf0,                               // (t5 + t6), + t7, + t8
    0xff,                                           // second half + first half
};

std::int64_t product(const TermSpec& term, std::int64_t value) { return term.weight * value; }

// Extremes of w*v over a term's whole range.
std::int64_t termMin(const TermSpec& t) { return std::min(product(t, t.first), product(t, t.last)); }
std::int64_t termMax(const TermSpec& t) { return std::max(product(t, t.first), product(t, t.last)); }

// Looks at the box where terms above `level` hold `fixed`, term `level` holds `value` and the terms below
// range freely; each form's extremes over it are attained, so the answer is exact.
class BoxProbe {
public:
    BoxProbe(const SearchSetup& setup, const Combination& fixed, int level)
        : m_setup(setup), m_level(level) {
        for (std::size_t f = 0; f < kForms.size(); ++f) {
            std::int64_t lo = 0;
            std::int64_t hi = 0;
            for (int k = 0; k < SearchSetup::kTermCount; ++k) {
                if ((kForms[f] >> k & 1u) == 0 || k == level)
                    continue;
                const TermSpec& t = setup.terms[static_cast<std::size_t>(k)];
                if (k > level) {
                    lo += product(t, fixed[static_cast<std::size_t>(k)]);
                    hi += product(t, fixed[static_cast<std::size_t>(k)]);
                } else {
                    lo += termMin(t);
                    hi += termMax(t);
                }
            }
            m_lo[f] = lo;
            m_hi[f] = hi;
        }
    }

    // Whether form f goes above (high) or below (!high) the 32-bit range somewhere in the box of `value`.
    bool breaks(std::size_t f, bool high, std::int64_t value) const {
        const std::int64_t own =
            (kForms[f] >> m_level & 1u) ? product(m_setup.terms[static_cast<std::size_t>(m_level)], value) : 0;
        return high ? m_hi[f] + own > kMax32 : m_lo[f] + own < kMin32;
    }

private:
    const SearchSetup& m_setup;
    int m_level;
    std::array<std::int64_t, kForms.size()> m_lo{};
    std::array<std::int64_t, kForms.size()> m_hi{};
};

} // namespace

bool overflows(const SearchSetup& setup, const Combination& values) {
    for (unsigned form : kForms) {
        std::int64_t sum = 0;
        for (int k = 0; k < SearchSetup::kTermCount; ++k)
            if (form >> k & 1u)
                sum += product(setup.terms[static_cast<std::size_t>(k)], values[static_cast<std::size_t>(k)]);
        if (sum < kMin32 || sum > kMax32)
            return true;
    }
    return false;
}

std::optional<Combination> firstOverflow(const SearchSetup& setup) {
    for (const TermSpec& t : setup.terms)
        if (t.first > t.last)
            return std::nullopt; // no combination is ever evaluated
    Combination fixed{};
    // Term 8 first: at each level take the smallest value whose box holds an overflowing combination.
    // Each form breaks the range either high or low, and each of those conditions is linear in the
    // value, so it holds on a prefix or a suffix of the range: its first value is the first value of
    // the range, or is found by bisection.
    for (int level = SearchSetup::kTermCount - 1; level >= 0; --level) {
        const TermSpec& term = setup.terms[static_cast<std::size_t>(level)];
        const BoxProbe probe(setup, fixed, level);
        std::int64_t best = std::int64_t{term.last} + 1;
        for (std::size_t f = 0; f < kForms.size(); ++f) {
            for (bool high : {false, true}) {
                std::int64_t lo = term.first;
                std::int64_t hi = std::min<std::int64_t>(term.last, best - 1);
                if (lo > hi)
                    continue;
                if (probe.breaks(f, high, lo)) {
                    best = lo;
                    continue;
                }
                if (!probe.breaks(f, high, hi))
                    continue;
                while (hi - lo > 1) { // breaks(hi) and not breaks(lo)
                    const std::int64_t mid = lo + (hi - lo) / 2;
                    (probe.breaks(f, high, mid) ? hi : lo) = mid;
                }
                best = hi;
            }
        }
        if (best > term.last)
            return std::nullopt; // only possible at term 8: the whole run is free of overflow
        fixed[static_cast<std::size_t>(level)] = static_cast<std::int32_t>(best);
    }
    return fixed;
}

} // namespace velmora
