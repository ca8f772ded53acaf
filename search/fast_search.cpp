#include "search/fast_search.h"

#include "search/fast/arithmetic.h"
#include "search/fast/box.h"
#include "search/fast/dense_table.h"
#include "search/fast/emitter.h"
#include "search/fast/sparse_table.h"
#include "search/fast/packed_values.h"
#include "search/fast/table_allocator.h"
#include "search/overflow_stop.h"
#include "search/run_time_error.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>


namespace velmora {
namespace {

using namespace fast;

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
        m_maxRecord = options.maxRecordedSolutions;
        plan(options, counting, setup.target);
        try {
            if (m_method == InnerMethod::SparseTable) {
                if (!cache.sparse || !cache.sparse->builtFor(box, m_tableTerms, counting)) {
                    cache.sparse.reset(); // release old tables before building: one table at a time
                    cache.dense.reset();
                    cache.sparse = std::make_unique<SparseTable>(box, m_weights, m_tableTerms, counting);
                }
                m_sparse = cache.sparse.get();
            } else if (m_method == InnerMethod::DenseTable) {
                if (!cache.dense || !cache.dense->builtFor(box, m_tableTerms)) {
                    cache.dense.reset();
                    cache.sparse.reset();
                    cache.dense = std::make_unique<DenseTable>(box, m_weights, m_tableTerms);
                }
                m_dense = cache.dense.get();
            }
        } catch (const std::bad_alloc&) {
            // Tables only save time: without the memory for one, the recursion gives the same answer.
            cache.sparse.reset();
            cache.dense.reset();
            m_method = InnerMethod::Recursion;
            m_tableTerms = 0;
        }
        m_pairLeaf = m_tableTerms == 0 && m_levels[0].weight != 0 && m_levels[1].weight != 0;
    }

    void list(Emitter& out, std::int32_t target) {
        m_out = &out;
        m_low = 0;
        m_high = 0;
        listFrom(kTerms, target);
    }

    SolutionCount count(std::int32_t target) { return countFrom(kTerms, target); }

private:
    // Chooses the inner method from estimated costs in nanoseconds, measured on this kind of code: a
    // recursion step (two divisions) about 8, a table entry built about 3 (15 for tables beyond the
    // processor's cache, which are hashed and sorted in two passes), a look-up 5 in cache and 30 beyond.
    // The solutions themselves cost the same whichever way is taken.
    void plan(const FastSearchOptions& options, bool counting, std::int32_t target) {
        std::array<double, kTerms + 1> spanBelow{}, combosBelow{}, gcdBelow{};
        combosBelow[0] = 1;
        std::int64_t g = 0;
        for (int k = 0; k < kTerms; ++k) {
            const Level& L = m_levels[static_cast<std::size_t>(k)];
            spanBelow[static_cast<std::size_t>(k) + 1] = spanBelow[static_cast<std::size_t>(k)] +
                                                         double(productMax(L.weight, m_box, k) - productMin(L.weight, m_box, k));
            combosBelow[static_cast<std::size_t>(k) + 1] = combosBelow[static_cast<std::size_t>(k)] * rangeSize(m_box, k);
            g = std::gcd(g, L.weight);
            gcdBelow[static_cast<std::size_t>(k) + 1] = double(g == 0 ? 1 : g);
        }
        // Calls of the recursion with terms k+1..8 set: their combinations whose remainder the terms
        // below can reach, the outer sum taken as normally distributed.
        const auto nodesAt = [&](int k) {
            double outer = 1, mean = 0, variance = 0;
            for (int j = k; j < kTerms; ++j) {
                const double w = double(m_weights[static_cast<std::size_t>(j)]);
                const double n = rangeSize(m_box, j);
                if (!(counting && w == 0))
                    outer *= n;
                mean += w * (double(m_box.lo[static_cast<std::size_t>(j)]) + m_box.hi[static_cast<std::size_t>(j)]) / 2;
                variance += w * w * (n * n - 1) / 12;
            }
            const Level& L = m_levels[static_cast<std::size_t>(k == kTerms ? kTerms - 1 : k)];
            const double innerMin = k == kTerms ? 0 : double(L.innerMin);
            const double innerMax = k == kTerms ? 0 : double(L.innerMax);
            const double lo = double(target) - (k == kTerms ? spanBelow[kTerms] : innerMax) - 0.5;
            const double hi = double(target) - (k == kTerms ? 0 : innerMin) + 0.5;
            if (k == kTerms)
                return 1.0;
            if (variance == 0)
                return (mean >= lo && mean <= hi) ? outer : 0.0;
            const double sd = std::sqrt(2 * variance);
            return outer * std::max(0.0, (std::erf((hi - mean) / sd) - std::erf((lo - mean) / sd)) / 2);
        };
        std::array<double, kTerms + 1> nodes{};
        for (int k = 1; k <= kTerms; ++k)
            nodes[static_cast<std::size_t>(k)] = nodesAt(k);
        const auto steps = [&](int from) {
            double total = 0;
            for (int k = from; k <= kTerms; ++k)
                total += nodes[static_cast<std::size_t>(k)];
            return 8 * total;
        };
        const auto lookups = [&](int m, double bytes) {
            return (bytes < 2e6 ? 5 : 30) * nodes[static_cast<std::size_t>(m)];
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
        double best = steps(2);
        for (int m = 2; m <= 4; ++m) {
            const double entries = combosBelow[static_cast<std::size_t>(m)];
            if (entries > options.maxSparseEntries)
                continue;
            const double bytes = 16 * entries;
            const double cost = (bytes < 2e6 ? 3 : 15) * entries + steps(m + 1) + lookups(m, bytes);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::SparseTable;
                m_tableTerms = m;
            }
        }
        if (!counting)
            return;
        for (int m = 1; m <= kTerms; ++m) {
            const double keys = denseKeys(m);
            if (keys > options.maxDenseKeys)
                continue;
            const double cost = 2 * m * keys + steps(m + 1) + lookups(m, 16 * keys);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::DenseTable;
                m_tableTerms = m;
            }
        }
    }

    void setValue(int k, std::int64_t value) { setLane(m_low, m_high, k, value); }

    // The table look-ups for the values first, first + modulus, ... last of the term just above the
    // table, a batch at a time: the memory reads of a whole batch overlap instead of following each other.
    template <class Visit>
    void forEachProbe(const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last, Visit&& visit) {
        constexpr int kBatch = 32;
        SparseTable::Probe probes[kBatch];
        std::int64_t values[kBatch];
        for (std::int64_t v = first; v <= last;) {
            int n = 0;
            for (; n < kBatch && v <= last; v += L.modulus)
                if (m_sparse->locate(rest - L.weight * v, probes[n]))
                    values[n++] = v;
            for (int i = 0; i < n; ++i)
                m_sparse->open(probes[i]);
            for (int i = 0; i < n; ++i)
                visit(values[i], probes[i]);
        }
    }

    void emitMatches(const SparseTable::Probe& probe) {
        const std::span<const std::uint64_t> matches = m_sparse->matches(probe);
        m_out->putRun(matches.data(), matches.size(), m_low, m_high);
    }

    // Hands on `found` again with term k+1's value replaced by `value`.
    void replay(const std::vector<Solution>& found, int k, std::int32_t value) {
        Emitter& out = *m_out;
        Emitter::Cursor cursor = out.open();
        const std::uint64_t keep = otherLanes(k);
        const std::uint64_t bits = lane(k, value);
        for (const Solution& s : found) {
            std::uint64_t low = 0, high = 0;
            std::memcpy(&low, s.values.data(), sizeof low);
            std::memcpy(&high, s.values.data() + 4, sizeof high);
            if (k < 4)
                low = (low & keep) | bits;
            else
                high = (high & keep) | bits;
            out.put(cursor, low, high);
        }
        out.close(cursor);
    }

    // Lists the solutions with terms k+1..8 as set and terms 1..k still free, whose sum is `rest`.
    void listFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms) { // reached through a term of weight 0 just above the table
            SparseTable::Probe probe{};
            if (!m_sparse->locate(rest, probe))
                return;
            m_sparse->open(probe);
            emitMatches(probe);
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
                Emitter::Cursor cursor = m_out->open();
                for (std::int32_t v = L.lo; v <= L.hi; ++v)
                    m_out->put(cursor, low | lane(0, v), m_high);
                m_out->close(cursor);
                return;
            }
            // The terms below do not depend on this value: search them once, for the first value, and
            // repeat what that found for the others (if it found nothing, none will find anything).
            // Only the outermost such term records; a record too large to keep means searching again,
            // which then costs little beside the many solutions each pass produces.
            const std::uint64_t before = m_out->produced();
            const bool record = !m_out->recording();
            std::vector<Solution> found;
            if (record)
                m_out->startRecording(found, m_maxRecord);
            setValue(k - 1, L.lo);
            listFrom(k - 1, rest);
            const bool complete = record && m_out->stopRecording();
            if (m_out->produced() == before)
                return;
            for (std::int32_t v = L.lo + 1; v <= L.hi; ++v) {
                setValue(k - 1, v);
                if (complete)
                    replay(found, k - 1, v);
                else
                    listFrom(k - 1, rest);
            }
            return;
        }
        std::int64_t first = 0, last = 0;
        if (!L.values(rest, first, last))
            return;
        // With 64-byte stores and a table with a bucket per key, every value of the term above the
        // table in its progression leaves a sum the table holds a bucket for (the table's range and
        // gcd are those of the terms below), and the key steps by a fixed amount: one loop writes the
        // runs of a whole progression, or of the progressions of the two terms above the table.
        if (m_sparse && m_out->wide() && m_sparse->keyedStarts()) {
            const Level& lower = m_levels[static_cast<std::size_t>(m_tableTerms)];
            KeyedRuns runs;
            runs.starts = m_sparse->keyedStarts();
            runs.values = m_sparse->keyedValues();
            runs.prefetch = m_sparse->large();
            runs.keyStep = -lower.weight * lower.modulus / m_sparse->gcd();
            runs.term = m_tableTerms;
            if (k == m_tableTerms + 1) {
                runs.key = m_sparse->divisor().divide(static_cast<std::uint64_t>(rest - L.weight * first - m_sparse->min()));
                runs.count = (last - first) / L.modulus + 1;
                runs.value = first;
                runs.valueStep = L.modulus;
                m_out->putKeyedRuns(runs, m_low, m_high);
                return;
            }
            if (k == m_tableTerms + 2 && lower.weight != 0) {
                // For each value of this term, the progression of the term below, written in one call.
                for (std::int64_t v = first; v <= last; v += L.modulus) {
                    const std::int64_t lowerRest = rest - L.weight * v;
                    std::int64_t lowerFirst = 0, lowerLast = 0;
                    if (!lower.values(lowerRest, lowerFirst, lowerLast))
                        continue;
                    setValue(k - 1, v);
                    runs.key = m_sparse->divisor().divide(
                        static_cast<std::uint64_t>(lowerRest - lower.weight * lowerFirst - m_sparse->min()));
                    runs.count = (lowerLast - lowerFirst) / lower.modulus + 1;
                    runs.value = lowerFirst;
                    runs.valueStep = lower.modulus;
                    m_out->putKeyedRuns(runs, m_low, m_high);
                }
                return;
            }
        }
        if (m_sparse && k == m_tableTerms + 1) {
            forEachProbe(L, rest, first, last, [&](std::int64_t v, const SparseTable::Probe& probe) {
                setValue(k - 1, v);
                emitMatches(probe);
            });
            return;
        }
        if (k == 2 && m_pairLeaf) {
            // Every value in the progression has exactly one partner value of term 1, itself stepping
            // by a fixed amount: no division per solution.
            const std::int64_t w1 = m_levels[0].weight;
            std::int64_t v1 = (rest - L.weight * first) / w1;
            const std::int64_t step1 = -(L.weight / L.divisor) * (w1 > 0 ? 1 : -1);
            const std::uint64_t low = m_low & ~std::uint64_t{0xffffffff};
            Emitter::Cursor cursor = m_out->open();
            for (std::int64_t v2 = first; v2 <= last; v2 += L.modulus, v1 += step1)
                m_out->put(cursor, low | lane(0, static_cast<std::int32_t>(v1)) | lane(1, static_cast<std::int32_t>(v2)),
                           m_high);
            m_out->close(cursor);
            return;
        }
        for (std::int64_t v = first; v <= last; v += L.modulus) {
            setValue(k - 1, v);
            listFrom(k - 1, rest - L.weight * v);
        }
    }

    SolutionCount countFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms) {
            SparseTable::Probe probe{};
            if (!m_sparse->locate(rest, probe))
                return {};
            m_sparse->open(probe);
            return SolutionCount(m_sparse->count(probe));
        }
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
        if (m_sparse && k == m_tableTerms + 1) {
            std::uint64_t total = 0; // at most one match per inner combination and value: fits 64 bits
            forEachProbe(L, rest, first, last,
                         [&](std::int64_t, const SparseTable::Probe& probe) { total += m_sparse->count(probe); });
            return SolutionCount(total);
        }
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
    std::size_t m_maxRecord = 0;
    const SparseTable* m_sparse = nullptr;
    const DenseTable* m_dense = nullptr;
    Emitter* m_out = nullptr;
    std::uint64_t m_low = 0;  // values of terms 1..4 as 16-bit lanes
    std::uint64_t m_high = 0; // values of terms 5..8
};

} // namespace

void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    Emitter out(sink, setup.target, options.wideStores);
    TableCache cache;
    for (const Box& box : fast::boxesBefore(setup, stop))
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
    for (const Box& box : fast::boxesBefore(setup, stop))
        result.solutions += BoxSearch(setup, box, options, true, cache).count(setup.target);
    return result;
}

} // namespace velmora
