#include "search/fast_search.h"

#include "search/overflow_stop.h"
#include "search/run_time_error.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace velmora {
namespace {

constexpr int kTerms = SearchSetup::kTermCount;

// Memory stays bounded whatever the setup: a sparse table holds 8 bytes of values and, when buckets are
// shared, 8 bytes of key per entry, plus 4 bytes per bucket (buckets <= entries); a dense table holds
// 16 bytes per reachable sum and needs two while it is built. FastSearchOptions caps both; setups whose
// tables would be larger use smaller tables or the recursion, which needs no memory.

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return -floorDiv(-a, b); }
std::int64_t floorMod(std::int64_t a, std::int64_t b) { // b > 0
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// a^-1 modulo m, for gcd(a, m) = 1 and m > 1.
std::int64_t inverseMod(std::int64_t a, std::int64_t m) {
    std::int64_t r0 = m, r1 = floorMod(a, m), s0 = 0, s1 = 1;
    while (r1 != 0) {
        const std::int64_t q = r0 / r1;
        r0 = std::exchange(r1, r0 - q * r1);
        s0 = std::exchange(s1, s0 - q * s1);
    }
    return floorMod(s0, m);
}

std::uint64_t lane(int k, std::int32_t value) {
    return std::uint64_t{static_cast<std::uint16_t>(value)} << (16 * (k & 3));
}

// Division of numbers known to be multiples of a fixed divisor: a shift and a multiplication by the
// inverse of its odd part modulo 2^64, instead of a 64-bit division on every look-up.
class ExactDivisor {
public:
    explicit ExactDivisor(std::uint64_t divisor = 1)
        : m_shift(static_cast<unsigned>(std::countr_zero(divisor))), m_odd(divisor >> m_shift) {
        std::uint64_t x = m_odd; // Newton's iteration doubles the correct low bits each step
        for (int i = 0; i < 6; ++i)
            x *= 2 - m_odd * x;
        m_inverse = x;
    }
    bool divides(std::uint64_t n) const {
        return (n & ((std::uint64_t{1} << m_shift) - 1)) == 0 &&
               (n >> m_shift) * m_inverse <= std::numeric_limits<std::uint64_t>::max() / m_odd;
    }
    std::uint64_t divide(std::uint64_t n) const { return (n >> m_shift) * m_inverse; }

private:
    unsigned m_shift = 0;
    std::uint64_t m_odd = 1;
    std::uint64_t m_inverse = 1;
};

// A box of combinations: one inclusive, non-empty range per term. Within a box that lies wholly before
// the overflow stop, sums are exact in 64 bits and need no overflow test.
struct Box {
    std::array<std::int32_t, kTerms> lo{};
    std::array<std::int32_t, kTerms> hi{};
};

std::int64_t productMin(std::int64_t w, const Box& box, int k) {
    return std::min(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
std::int64_t productMax(std::int64_t w, const Box& box, int k) {
    return std::max(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
double rangeSize(const Box& box, int k) {
    return double(box.hi[static_cast<std::size_t>(k)]) - box.lo[static_cast<std::size_t>(k)] + 1;
}

// What the recursion knows about one term: its values, and what the terms below it can still reach.
struct Level {
    std::int64_t weight = 0;
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    std::int64_t innerMin = 0; // reachable sums of the terms below
    std::int64_t innerMax = 0;
    std::int64_t innerGcd = 0; // every reachable sum of the terms below is a multiple of it (0: only 0)
    std::int64_t divisor = 1;  // gcd(weight, innerGcd): the remainder must be a multiple of it
    std::int64_t modulus = 1;  // the values that work repeat with this period ...
    std::int64_t inverse = 0;  // ... found through (weight / divisor)^-1 modulo `modulus`

    // Whether the terms below can make `rest` at all.
    bool reachable(std::int64_t rest) const {
        return rest >= innerMin && rest <= innerMax && (innerGcd <= 1 || floorMod(rest, innerGcd) == 0);
    }

    // The values of this (non-zero weight) term that leave a remainder the terms below can reach, as
    // first, last and step `modulus`. Exact when there are no terms below, or only term 1 below.
    bool values(std::int64_t rest, std::int64_t& first, std::int64_t& last) const {
        if (weight > 0) {
            first = ceilDiv(rest - innerMax, weight);
            last = floorDiv(rest - innerMin, weight);
        } else {
            first = ceilDiv(rest - innerMin, weight);
            last = floorDiv(rest - innerMax, weight);
        }
        first = std::max<std::int64_t>(first, lo);
        last = std::min<std::int64_t>(last, hi);
        if (first > last)
            return false;
        if (divisor > 1 && floorMod(rest, divisor) != 0)
            return false;
        if (modulus > 1) {
            const std::int64_t v0 = floorMod(rest / divisor, modulus) * inverse % modulus;
            first += floorMod(v0 - first, modulus);
            return first <= last;
        }
        return true;
    }
};

// Visits every combination of terms 1..terms of `box` in enumeration order, with its sum and its values
// packed as 16-bit lanes (term 1 in the low lane).
template <class Visit>
void forEachInner(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, Visit&& visit) {
    std::array<std::int32_t, 4> v{};
    std::int64_t sum = 0;
    std::uint64_t packed = 0;
    for (int k = 0; k < terms; ++k) {
        v[static_cast<std::size_t>(k)] = box.lo[static_cast<std::size_t>(k)];
        sum += weights[static_cast<std::size_t>(k)] * v[static_cast<std::size_t>(k)];
        packed |= lane(k, v[static_cast<std::size_t>(k)]);
    }
    for (;;) {
        visit(sum, packed);
        int k = 0;
        for (; k < terms; ++k) {
            const auto K = static_cast<std::size_t>(k);
            const std::uint64_t mask = ~(std::uint64_t{0xffff} << (16 * k));
            if (v[K] < box.hi[K]) {
                ++v[K];
                sum += weights[K];
                packed = (packed & mask) | lane(k, v[K]);
                break;
            }
            sum -= weights[K] * (std::int64_t{box.hi[K]} - box.lo[K]);
            v[K] = box.lo[K];
            packed = (packed & mask) | lane(k, v[K]);
        }
        if (k == terms)
            return;
    }
}

// Meet in the middle for listing: every combination of the inner terms (at most four, so that their
// values pack into 64 bits), grouped by sum, each group in enumeration order. Sums are keyed by
// (sum - minimum) / gcd and grouped into buckets of 2^shift keys, no more buckets than entries.
class SparseTable {
public:
    SparseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) : m_terms(terms) {
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
        while ((maxKey >> m_shift) + 1 > std::max<std::uint64_t>(n, 1))
            ++m_shift;
        const std::size_t buckets = static_cast<std::size_t>(maxKey >> m_shift) + 1;
        m_offsets.assign(buckets + 1, 0);
        m_values.resize(n);
        if (m_shift > 0)
            m_keys.resize(n);
        forEachInner(box, weights, terms, [&](std::int64_t sum, std::uint64_t) {
            ++m_offsets[(key(sum) >> m_shift) + 1];
        });
        std::partial_sum(m_offsets.begin(), m_offsets.end(), m_offsets.begin());
        // A stable counting sort: each entry goes to the next free place of its bucket, in enumeration order.
        forEachInner(box, weights, terms, [&](std::int64_t sum, std::uint64_t packed) {
            const std::uint64_t k = key(sum);
            const std::uint32_t at = m_offsets[k >> m_shift]++;
            m_values[at] = packed;
            if (m_shift > 0)
                m_keys[at] = k;
        });
        std::copy_backward(m_offsets.begin(), m_offsets.end() - 1, m_offsets.end());
        m_offsets[0] = 0;
    }

    bool builtFor(const Box& box, int terms) const {
        if (terms != m_terms)
            return false;
        for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
            if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
                return false;
        return true;
    }

    // Calls visit(packed values) for each inner combination whose sum is `rest`, in enumeration order.
    template <class Visit>
    void forEachMatch(std::int64_t rest, Visit&& visit) const {
        std::uint64_t k = 0;
        std::uint32_t i = 0, end = 0;
        if (!find(rest, k, i, end))
            return;
        if (m_shift == 0) {
            for (; i < end; ++i)
                visit(m_values[i]);
        } else {
            for (; i < end; ++i)
                if (m_keys[i] == k)
                    visit(m_values[i]);
        }
    }

    std::uint64_t count(std::int64_t rest) const {
        std::uint64_t k = 0;
        std::uint32_t i = 0, end = 0;
        if (!find(rest, k, i, end))
            return 0;
        if (m_shift == 0)
            return end - i;
        return static_cast<std::uint64_t>(std::count(m_keys.begin() + i, m_keys.begin() + end, k));
    }

private:
    std::uint64_t key(std::int64_t sum) const { return m_divisor.divide(static_cast<std::uint64_t>(sum - m_min)); }

    bool find(std::int64_t rest, std::uint64_t& k, std::uint32_t& begin, std::uint32_t& end) const {
        if (rest < m_min || rest > m_max)
            return false;
        const auto offset = static_cast<std::uint64_t>(rest - m_min);
        if (m_gcd > 1 && !m_divisor.divides(offset))
            return false;
        k = m_divisor.divide(offset);
        begin = m_offsets[k >> m_shift];
        end = m_offsets[(k >> m_shift) + 1];
        return true;
    }

    int m_terms;
    std::array<std::int32_t, 4> m_lo{};
    std::array<std::int32_t, 4> m_hi{};
    std::int64_t m_min = 0;
    std::int64_t m_max = 0;
    std::int64_t m_gcd = 1;
    ExactDivisor m_divisor;
    unsigned m_shift = 0;
    std::vector<std::uint32_t> m_offsets;
    std::vector<std::uint64_t> m_keys;
    std::vector<std::uint64_t> m_values;
};

// Meet in the middle for counting: how many combinations of the inner terms make each reachable sum.
// Terms of weight 0 stay out of the table and multiply its counts; with them out, one count is at most
// 65536^7, so 128 bits hold it. Built term by term with a sliding window: O(reachable sums) per term.
class DenseTable {
public:
    DenseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) : m_terms(terms) {
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
            const auto step = static_cast<std::size_t>((w < 0 ? -w : w) / m_gcd);
            const std::size_t length = m_counts.size() + (n - 1) * step;
            next.assign(length, 0);
            // next[x] = sum of m_counts[x - i*step] for i in 0..n-1
            for (std::size_t x = 0; x < length; ++x) {
                unsigned __int128 c = x >= step ? next[x - step] : 0;
                if (x < m_counts.size())
                    c += m_counts[x];
                if (x >= n * step && x - n * step < m_counts.size())
                    c -= m_counts[x - n * step];
                next[x] = c;
            }
            m_counts.swap(next);
        }
    }

    bool builtFor(const Box& box, int terms) const {
        if (terms != m_terms)
            return false;
        for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
            if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
                return false;
        return true;
    }

    SolutionCount count(std::int64_t rest) const {
        if (rest < m_min || rest > m_max)
            return {};
        const auto offset = static_cast<std::uint64_t>(rest - m_min);
        if (m_gcd > 1 && !m_divisor.divides(offset))
            return {};
        return m_factor * m_counts[m_divisor.divide(offset)];
    }

private:
    int m_terms;
    std::array<std::int32_t, kTerms> m_lo{};
    std::array<std::int32_t, kTerms> m_hi{};
    std::int64_t m_min = 0;
    std::int64_t m_max = 0;
    std::int64_t m_gcd = 1;
    ExactDivisor m_divisor;
    SolutionCount m_factor = 1;
    std::vector<unsigned __int128> m_counts;
};

// Collects solutions and hands them to the sink a block at a time, like SolutionBatch, but writes the
// eight values as two 64-bit words and keeps count of what it has produced.
class Emitter {
public:
    Emitter(SolutionSink& sink, std::int32_t target) : m_sink(sink), m_target(target) {}

    void put(std::uint64_t low, std::uint64_t high) {
        if (m_used == kBlock)
            flush();
        Solution& s = m_block[m_used++];
        s.sum = m_target;
        std::memcpy(s.values.data(), &low, sizeof low);
        std::memcpy(s.values.data() + 4, &high, sizeof high);
    }

    std::uint64_t produced() const { return m_flushed + m_used; }

    void flush() {
        if (m_used == 0)
            return;
        const std::size_t n = m_used;
        m_used = 0;
        m_flushed += n;
        m_sink.accept(std::span<const Solution>(m_block.data(), n));
    }

private:
    static constexpr std::size_t kBlock = 1024;
    SolutionSink& m_sink;
    std::int32_t m_target;
    std::array<Solution, kBlock> m_block{};
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
};

// Tables outlive one box: the boxes before an overflow stop share the inner ranges of the full setup.
struct TableCache {
    std::unique_ptr<SparseTable> sparse;
    std::unique_ptr<DenseTable> dense;
};

// The search of one box: terms 8..m+1 by bounded recursion, terms m..1 by a table (when m > 0) or,
// without a table, terms 2 and 1 together as an arithmetic progression.
class BoxSearch {
public:
    BoxSearch(const SearchSetup& setup, const Box& box, const FastSearchOptions& options, bool counting,
              TableCache& cache)
        : m_box(box) {
        for (int k = 0; k < kTerms; ++k)
            m_weights[static_cast<std::size_t>(k)] = setup.terms[static_cast<std::size_t>(k)].weight;
        std::int64_t innerMin = 0, innerMax = 0, innerGcd = 0;
        for (int k = 0; k < kTerms; ++k) {
            Level& L = m_levels[static_cast<std::size_t>(k)];
            L.weight = m_weights[static_cast<std::size_t>(k)];
            L.lo = box.lo[static_cast<std::size_t>(k)];
            L.hi = box.hi[static_cast<std::size_t>(k)];
            L.innerMin = innerMin;
            L.innerMax = innerMax;
            L.innerGcd = innerGcd;
            if (L.weight != 0 && innerGcd != 0) {
                L.divisor = std::gcd(L.weight, innerGcd);
                L.modulus = innerGcd / L.divisor;
                if (L.modulus > 1)
                    L.inverse = inverseMod(L.weight / L.divisor, L.modulus);
            }
            innerMin += productMin(L.weight, box, k);
            innerMax += productMax(L.weight, box, k);
            innerGcd = std::gcd(innerGcd, L.weight);
        }
        plan(options, counting);
        m_pairLeaf = m_tableTerms == 0 && m_levels[0].weight != 0 && m_levels[1].weight != 0;
        if (m_method == InnerMethod::SparseTable) {
            if (!cache.sparse || !cache.sparse->builtFor(box, m_tableTerms)) {
                cache.sparse.reset(); // release the old table before building the new one
                cache.sparse = std::make_unique<SparseTable>(box, m_weights, m_tableTerms);
            }
            m_sparse = cache.sparse.get();
        } else if (m_method == InnerMethod::DenseTable) {
            if (!cache.dense || !cache.dense->builtFor(box, m_tableTerms)) {
                cache.dense.reset();
                cache.dense = std::make_unique<DenseTable>(box, m_weights, m_tableTerms);
            }
            m_dense = cache.dense.get();
        }
    }

    void list(Emitter& out, std::int32_t target) {
        m_out = &out;
        m_low = 0;
        m_high = 0;
        listFrom(kTerms, target);
    }

    SolutionCount count(std::int32_t target) { return countFrom(kTerms, target); }

private:
    // Chooses the inner method from rough costs: a recursion step, a table entry built and a look-up
    // each count about one unit; the solutions themselves cost the same whichever way is taken.
    void plan(const FastSearchOptions& options, bool counting) {
        std::array<double, kTerms + 1> spanBelow{}, combosBelow{}, gcdBelow{};
        combosBelow[0] = 1;
        std::int64_t g = 0;
        for (int k = 0; k < kTerms; ++k) {
            const Level& L = m_levels[static_cast<std::size_t>(k)];
            spanBelow[static_cast<std::size_t>(k) + 1] =
                spanBelow[static_cast<std::size_t>(k)] + double(productMax(L.weight, m_box, k) - productMin(L.weight, m_box, k));
            combosBelow[static_cast<std::size_t>(k) + 1] = combosBelow[static_cast<std::size_t>(k)] * rangeSize(m_box, k);
            g = std::gcd(g, L.weight);
            gcdBelow[static_cast<std::size_t>(k) + 1] = double(g == 0 ? 1 : g);
        }
        const double spanAll = spanBelow[kTerms];
        // Outer combinations (terms m+1..8) whose remainder the inner terms can still reach.
        const auto outerNodes = [&](int m) {
            double outer = 1;
            for (int k = m; k < kTerms; ++k)
                if (!(counting && m_weights[static_cast<std::size_t>(k)] == 0))
                    outer *= rangeSize(m_box, k);
            const double inner = spanBelow[static_cast<std::size_t>(m)];
            return outer * std::min(1.0, (inner + 1) / (spanAll - inner + 1));
        };
        const auto denseKeys = [&](int m) {
            return spanBelow[static_cast<std::size_t>(m)] / gcdBelow[static_cast<std::size_t>(m)] + 1;
        };

        if (options.method == InnerMethod::Recursion ||
            (options.method == InnerMethod::DenseTable && !counting)) {
            return;
        }
        if (options.method == InnerMethod::SparseTable) {
            const int m = std::clamp(options.tableTerms, 1, 4);
            if (combosBelow[static_cast<std::size_t>(m)] <= options.maxSparseEntries) {
                m_method = InnerMethod::SparseTable;
                m_tableTerms = m;
                return;
            }
        }
        if (options.method == InnerMethod::DenseTable) {
            const int m = std::clamp(options.tableTerms, 1, kTerms);
            if (denseKeys(m) <= options.maxDenseKeys) {
                m_method = InnerMethod::DenseTable;
                m_tableTerms = m;
                return;
            }
        }
        double best = outerNodes(2);
        for (int m = 3; m <= 4; ++m) {
            if (combosBelow[static_cast<std::size_t>(m)] > options.maxSparseEntries)
                continue;
            const double cost = combosBelow[static_cast<std::size_t>(m)] + outerNodes(m);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::SparseTable;
                m_tableTerms = m;
            }
        }
        if (!counting)
            return;
        for (int m = 1; m <= kTerms; ++m) {
            if (denseKeys(m) > options.maxDenseKeys)
                continue;
            const double cost = m * denseKeys(m) + outerNodes(m);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::DenseTable;
                m_tableTerms = m;
            }
        }
    }

    void setValue(int k, std::int64_t value) {
        std::uint64_t& word = k < 4 ? m_low : m_high;
        word = (word & ~(std::uint64_t{0xffff} << (16 * (k & 3)))) | lane(k, static_cast<std::int32_t>(value));
    }

    // Lists the solutions with terms k+1..8 as set and terms 1..k still free, whose sum is `rest`.
    void listFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms) {
            const std::uint64_t high = m_high;
            const std::uint64_t low = m_low;
            m_sparse->forEachMatch(rest, [&](std::uint64_t inner) { m_out->put(low | inner, high); });
            return;
        }
        if (k == 0) {
            if (rest == 0)
                m_out->put(m_low, m_high);
            return;
        }
        const Level& L = m_levels[static_cast<std::size_t>(k - 1)];
        if (L.weight == 0) {
            if (!L.reachable(rest))
                return;
            if (k == 1) { // rest is 0 here: every value of term 1 is a solution
                const std::uint64_t low = m_low & ~std::uint64_t{0xffff};
                for (std::int32_t v = L.lo; v <= L.hi; ++v)
                    m_out->put(low | lane(0, v), m_high);
                return;
            }
            // The terms below do not depend on this value: if the first pass finds nothing, none will.
            const std::uint64_t before = m_out->produced();
            for (std::int32_t v = L.lo; v <= L.hi; ++v) {
                setValue(k - 1, v);
                listFrom(k - 1, rest);
                if (m_out->produced() == before)
                    return;
            }
            return;
        }
        std::int64_t first = 0, last = 0;
        if (!L.values(rest, first, last))
            return;
        if (k == 2 && m_pairLeaf) {
            // Every value in the progression has exactly one partner value of term 1, itself stepping
            // by a fixed amount: no division per solution.
            const std::int64_t w1 = m_levels[0].weight;
            std::int64_t v1 = (rest - L.weight * first) / w1;
            const std::int64_t step1 = -(L.weight / L.divisor) * (w1 > 0 ? 1 : -1);
            const std::uint64_t low = m_low & ~std::uint64_t{0xffffffff};
            for (std::int64_t v2 = first; v2 <= last; v2 += L.modulus, v1 += step1)
                m_out->put(low | lane(0, static_cast<std::int32_t>(v1)) | lane(1, static_cast<std::int32_t>(v2)), m_high);
            return;
        }
        for (std::int64_t v = first; v <= last; v += L.modulus) {
            setValue(k - 1, v);
            listFrom(k - 1, rest - L.weight * v);
        }
    }

    SolutionCount countFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms)
            return SolutionCount(m_sparse->count(rest));
        if (m_dense && k == m_tableTerms)
            return m_dense->count(rest);
        if (k == 0)
            return SolutionCount(rest == 0 ? 1 : 0);
        const Level& L = m_levels[static_cast<std::size_t>(k - 1)];
        if (L.weight == 0) {
            if (!L.reachable(rest))
                return {};
            return countFrom(k - 1, rest) * static_cast<std::uint64_t>(std::int64_t{L.hi} - L.lo + 1);
        }
        std::int64_t first = 0, last = 0;
        if (!L.values(rest, first, last))
            return {};
        if (k == 2 && m_pairLeaf)
            return SolutionCount(static_cast<unsigned __int128>((last - first) / L.modulus + 1));
        SolutionCount total;
        for (std::int64_t v = first; v <= last; v += L.modulus)
            total += countFrom(k - 1, rest - L.weight * v);
        return total;
    }

    Box m_box;
    std::array<std::int64_t, kTerms> m_weights{};
    std::array<Level, kTerms> m_levels{};
    InnerMethod m_method = InnerMethod::Recursion;
    int m_tableTerms = 0;
    bool m_pairLeaf = false;
    const SparseTable* m_sparse = nullptr;
    const DenseTable* m_dense = nullptr;
    Emitter* m_out = nullptr;
    std::uint64_t m_low = 0;  // values of terms 1..4 as 16-bit lanes
    std::uint64_t m_high = 0; // values of terms 5..8
};

// The combinations before `stop` (all of them when there is none) as boxes in enumeration order: with
// terms above j at the stop's values, term j before its stop value and the terms below free, for j from
// term 8 down to term 1. Empty when some range is empty.
std::vector<Box> boxesBefore(const SearchSetup& setup, const std::optional<Combination>& stop) {
    Box full;
    for (std::size_t k = 0; k < kTerms; ++k) {
        full.lo[k] = setup.terms[k].first;
        full.hi[k] = setup.terms[k].last;
        if (full.lo[k] > full.hi[k])
            return {};
    }
    if (!stop)
        return {full};
    std::vector<Box> boxes;
    Box box = full;
    for (std::size_t j = kTerms; j-- > 0;) {
        box.hi[j] = (*stop)[j] - 1;
        if (box.lo[j] <= box.hi[j])
            boxes.push_back(box);
        box.lo[j] = box.hi[j] = (*stop)[j];
    }
    return boxes;
}

} // namespace

void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    Emitter out(sink, setup.target);
    TableCache cache;
    for (const Box& box : boxesBefore(setup, stop))
        BoxSearch(setup, box, options, false, cache).list(out, setup.target);
    out.flush();
    if (stop)
        throw RunTimeError::overflow();
}

SearchCount fastCount(const SearchSetup& setup, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    SearchCount result;
    result.overflow = stop.has_value();
    TableCache cache;
    for (const Box& box : boxesBefore(setup, stop))
        result.solutions += BoxSearch(setup, box, options, true, cache).count(setup.target);
    return result;
}

} // namespace velmora
