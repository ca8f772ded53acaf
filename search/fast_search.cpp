#include "search/fast_search.h"

#include "search/fast/arithmetic.h"
#include "search/fast/box.h"
#include "search/fast/dense_table.h"
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

#include "search/fast/simd.h"
#if VELMORA_AVX512
#include <immintrin.h>
#endif

namespace velmora {
namespace {

using namespace fast;

// The runs of matches of consecutive values of the term just above a table with a bucket per key:
// value i of the term is `value` + i * `valueStep`, its key is `key` + i * `keyStep`, and its run is
// values[starts[key] .. starts[key + 1]).
struct KeyedRuns {
    const std::uint32_t* starts = nullptr;
    const std::uint64_t* values = nullptr;
    bool prefetch = false;  // the table lies beyond the inner caches
    std::uint64_t key = 0;
    std::int64_t keyStep = 0;
    std::int64_t count = 0; // values left
    std::int64_t value = 0;
    std::int64_t valueStep = 0;
    int term = 0;           // 0..7: the term's 16-bit lane in the low word (0..3) or the high word (4..7)
};

#if VELMORA_AVX512
// Sixteen records are 320 bytes, five 64-byte words of sixteen 32-bit lanes each. Lane i of word j is
// lane 16j + i of the group: record (16j + i) / 5, field (16j + i) % 5, where field 0 is the sum,
// fields 1 and 2 the low word of packed values (terms 1..4) and fields 3 and 4 the high word.
struct WideLayout {
    // For fields 1 and 2, the lane of the record's low word in the two 64-byte loads of sixteen packed
    // values (0..31); for the others, the lane of the constant (sum 0, high word 1 and 2).
    std::array<std::array<std::int32_t, 16>, 5> index{};
    std::array<std::uint16_t, 5> valueLanes{}; // the lanes of fields 1 and 2
};

constexpr WideLayout makeWideLayout() {
    WideLayout layout;
    for (std::size_t j = 0; j < 5; ++j)
        for (std::size_t i = 0; i < 16; ++i) {
            const std::size_t g = 16 * j + i, record = g / 5, field = g % 5;
            const bool value = field == 1 || field == 2;
            layout.index[j][i] = static_cast<std::int32_t>(value ? 2 * record + field - 1 : (field == 0 ? 0 : field - 2));
            if (value)
                layout.valueLanes[j] = static_cast<std::uint16_t>(layout.valueLanes[j] | (1u << i));
        }
    return layout;
}

bool hasWideStores() {
    static const bool supported = __builtin_cpu_supports("avx512f");
    return supported;
}

// The layout's index vectors and the masks of their value lanes, loaded once by a caller that writes
// many runs.
__attribute__((target("avx512f"), always_inline)) inline void loadWideLayout(__m512i* index, __mmask16* lanes) {
    static constexpr WideLayout kLayout = makeWideLayout();
    for (std::size_t j = 0; j < 5; ++j) {
        lanes[j] = kLayout.valueLanes[j];
        index[j] = _mm512_loadu_si512(kLayout.index[j].data());
    }
}

// Writes records at..at+n-1 of `block` (64-byte aligned) sixteen at a time, like the 16-byte writer
// below: a group from `at`, then groups from each following multiple of 16. Groups may write up to
// fifteen records past the run and read up to fifteen values past it.
__attribute__((target("avx512f"), always_inline)) inline void writeWideGroups(
    Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits,
    std::uint64_t high, std::int32_t target, const __m512i* index, const __mmask16* lanes) {
    const __m512i constants = _mm512_castsi128_si512(
        _mm_set_epi32(0, static_cast<int>(high >> 32), static_cast<int>(high), target));
    // Each word's index vector with the constants already in their lanes: a permutation that keeps the
    // other lanes then completes the word in one instruction.
    __m512i mixed[5];
    for (std::size_t j = 0; j < 5; ++j)
        mixed[j] = _mm512_mask_permutexvar_epi32(index[j], static_cast<__mmask16>(~lanes[j]), index[j], constants);
    const __m512i bits = _mm512_set1_epi64(static_cast<long long>(lowBits));
    const std::size_t end = at + n;
    for (std::size_t i = at; i < end; i = (i + 16) & ~std::size_t{15}) {
        const std::uint64_t* from = inner + (i - at);
        const __m512i a = _mm512_or_si512(_mm512_loadu_si512(from), bits);
        const __m512i b = _mm512_or_si512(_mm512_loadu_si512(from + 8), bits);
        auto* out = reinterpret_cast<__m512i*>(block + i);
        for (std::size_t j = 0; j < 5; ++j)
            _mm512_storeu_si512(out + j, _mm512_mask2_permutex2var_epi32(a, mixed[j], lanes[j], b));
    }
}

__attribute__((target("avx512f"))) void writeRunWide(Solution* block, std::size_t at, const std::uint64_t* inner,
                                                     std::size_t n, std::uint64_t lowBits, std::uint64_t high,
                                                     std::int32_t target) {
    __m512i index[5];
    __mmask16 lanes[5];
    loadWideLayout(index, lanes);
    writeWideGroups(block, at, inner, n, lowBits, high, target, index, lanes);
}

#endif

// Collects solutions and hands them to the sink a block at a time, like SolutionBatch, but writes the
// eight values as two 64-bit words and keeps count of what it has produced.
class Emitter {
public:
    Emitter(SolutionSink& sink, std::int32_t target, bool wideStores)
        : m_sink(sink), m_target(target) {
#if VELMORA_AVX512
        m_wide = wideStores && hasWideStores();
#else
        (void)wideStores;
#endif
    }

    // A position in the block held by the caller, so that a loop that writes many solutions keeps it
    // in a register instead of storing and reloading the block's fill after every solution.
    struct Cursor {
        Solution* next;
        Solution* end;
        std::int32_t sum;
    };

    Cursor open() {
        if (m_used == kBlock)
            flush();
        return {m_block.data() + m_used, m_block.data() + kBlock, m_target};
    }
    void close(const Cursor& cursor) { m_used = static_cast<std::size_t>(cursor.next - m_block.data()); }

    void put(Cursor& cursor, std::uint64_t low, std::uint64_t high) {
        if (cursor.next == cursor.end) {
            close(cursor);
            cursor = open();
        }
        Solution& s = *cursor.next++;
        s.sum = cursor.sum;
        std::memcpy(s.values.data(), &low, sizeof low);
        std::memcpy(s.values.data() + 4, &high, sizeof high);
    }

    void put(std::uint64_t low, std::uint64_t high) {
        Cursor cursor = open();
        put(cursor, low, high);
        close(cursor);
    }

    // The solutions (inner[i] | lowBits, high) for i < n: the run of matches of one table look-up.
    // inner[n..n+15] must be readable (see writeRun).
    void putRun(const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits, std::uint64_t high) {
        while (n > 0) {
            if (m_used == kBlock)
                flush();
            const std::size_t c = std::min(n, kBlock - m_used);
            writeRun(m_used, inner, c, lowBits, high);
            m_used += c;
            inner += c;
            n -= c;
        }
    }

    bool wide() const { return m_wide; }

#if VELMORA_AVX512
    // The runs of `runs` (see KeyedRuns), written as putRun writes each; `low` and `high` hold the
    // values of the terms above the table except the term of `runs`. Only where wide() holds.
    __attribute__((target("avx512f"))) void putKeyedRuns(KeyedRuns& runs, std::uint64_t low, std::uint64_t high) {
        __m512i index[5];
        __mmask16 lanes[5];
        loadWideLayout(index, lanes);
        keyedLoop(runs, low, high, index, lanes);
    }

    // The runs of every value u of term `upperTerm` (weight `upperWeight`) in first, first + step, ...
    // last, each followed by those of the values of the term below that `lower` finds for the
    // remainder `rest` - upperWeight * u: what putKeyedRuns writes for each u in turn, with one set-up.
    // `runs` gives the table, the lower term's key step over the table's gcd and its term.
    __attribute__((target("avx512f"))) void putKeyedRuns(KeyedRuns& runs, const Level& lower, std::int64_t tableMin,
                                                         const ExactDivisor& tableDivisor, int upperTerm,
                                                         std::int64_t upperWeight, std::int64_t rest, std::int64_t first,
                                                         std::int64_t last, std::int64_t step, std::uint64_t low,
                                                         std::uint64_t high) {
        __m512i index[5];
        __mmask16 lanes[5];
        loadWideLayout(index, lanes);
        for (std::int64_t u = first; u <= last; u += step) {
            const std::int64_t lowerRest = rest - upperWeight * u;
            std::int64_t lowerFirst = 0, lowerLast = 0;
            if (!lower.values(lowerRest, lowerFirst, lowerLast))
                continue;
            setLane(low, high, upperTerm, u);
            runs.key = tableDivisor.divide(static_cast<std::uint64_t>(lowerRest - lower.weight * lowerFirst - tableMin));
            runs.count = (lowerLast - lowerFirst) / lower.modulus + 1;
            runs.value = lowerFirst;
            runs.valueStep = lower.modulus;
            keyedLoop(runs, low, high, index, lanes);
        }
    }
#else
    // Without 64-byte stores wide() is false and the callers take forEachProbe instead.
    void putKeyedRuns(KeyedRuns&, std::uint64_t, std::uint64_t) { std::abort(); }
    void putKeyedRuns(KeyedRuns&, const Level&, std::int64_t, const ExactDivisor&, int, std::int64_t, std::int64_t,
                      std::int64_t, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t) {
        std::abort();
    }
#endif

    std::uint64_t produced() const { return m_flushed + m_used; }

    void flush() {
        if (m_used == 0)
            return;
        if (m_recording) {
            capture();
            m_recordFrom = 0;
        }
        const std::size_t n = m_used;
        m_used = 0;
        m_flushed += n;
        m_sink.accept(std::span<const Solution>(m_block.data(), n));
    }

    // Recording keeps a copy of every solution produced from now on, up to `cap` of them, taken from the
    // block as it is handed on (the loops that write solutions are not slowed down).
    bool recording() const { return m_recording; }
    void startRecording(std::vector<Solution>& into, std::size_t cap) {
        m_record = &into;
        m_record->clear();
        m_recording = true;
        m_recordComplete = true;
        m_recordCap = cap;
        m_recordFrom = m_used;
    }
    // True when every solution produced since the start is in the record.
    bool stopRecording() {
        capture();
        m_recording = false;
        return m_recordComplete;
    }

private:
    // Writes records at..at+n-1. Four records are 80 bytes, five 16-byte words, built from two loads
    // of packed values: a run is written a group of four at a time, groups starting at records whose
    // index is a multiple of 4 (16-byte aligned in the block), and one more group from `at` when it is
    // not. Groups may write up to three records past the run (in the block's slack, or overwritten by
    // the next run) and so read up to three values past it: callers pad their arrays.
    void writeRun(std::size_t at, const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits,
                  std::uint64_t high) {
#if VELMORA_AVX512
        if (m_wide) {
            writeRunWide(m_block.data(), at, inner, n, lowBits, high, m_target);
            return;
        }
#endif
#if VELMORA_SSE2
        static_assert(sizeof(Solution) == 20 && offsetof(Solution, values) == 4);
        // 32-bit lanes of the four records: T L0 L0 H | H T L1 L1 | H H T L2 | L2 H H T | L3 L3 H H,
        // the constant lanes shifted into place from the sum and the high word.
        const __m128i t = _mm_cvtsi32_si128(m_target);
        const __m128i h = _mm_set_epi64x(0, static_cast<long long>(high));
        const __m128i c0 = _mm_or_si128(t, _mm_slli_si128(h, 12));                   // T 0 0 H
        const __m128i c13 = _mm_or_si128(_mm_slli_si128(h, 4), _mm_slli_si128(t, 12)); // 0 H H T
        const __m128i c2 = _mm_or_si128(h, _mm_slli_si128(t, 8));                    // H H T 0
        const __m128i c4 = _mm_slli_si128(h, 8);                                      // 0 0 H H
        const __m128i bits = _mm_set1_epi64x(static_cast<long long>(lowBits));
        const auto group = [&](Solution* to, const std::uint64_t* from, auto store, auto withBits) {
            auto* out = reinterpret_cast<__m128i*>(to);
            __m128i x01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            __m128i x23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2));
            if constexpr (decltype(withBits)::value) {
                x01 = _mm_or_si128(x01, bits);
                x23 = _mm_or_si128(x23, bits);
            }
            store(out, _mm_or_si128(c0, _mm_slli_si128(_mm_move_epi64(x01), 4)));
            store(out + 1, _mm_unpackhi_epi64(c13, x01));
            store(out + 2, _mm_or_si128(c2, _mm_slli_si128(x23, 12)));
            store(out + 3, _mm_or_si128(c13, _mm_srli_si128(_mm_move_epi64(x23), 4)));
            store(out + 4, _mm_unpackhi_epi64(x23, c4));
        };
        const auto groups = [&](auto withBits) {
            const std::size_t end = at + n;
            if (at % 4 != 0)
                group(m_block.data() + at, inner, [](__m128i* p, __m128i v) { _mm_storeu_si128(p, v); }, withBits);
            for (std::size_t i = (at + 3) / 4 * 4; i < end; i += 4)
                group(m_block.data() + i, inner + (i - at), [](__m128i* p, __m128i v) { _mm_store_si128(p, v); },
                      withBits);
        };
        if (lowBits == 0) // the table holds every low term: nothing to merge into its values
            groups(std::false_type{});
        else
            groups(std::true_type{});
#else
        for (std::size_t i = 0; i < n; ++i) {
            Solution& s = m_block[at + i];
            const std::uint64_t low = inner[i] | lowBits;
            s.sum = m_target;
            std::memcpy(s.values.data(), &low, sizeof low);
            std::memcpy(s.values.data() + 4, &high, sizeof high);
        }
#endif
    }

#if VELMORA_AVX512
    // Writes the runs of `runs` as writeRunWide writes one, each with its term's value set in `low` or
    // `high`. A run that does not fit in what is left of the block goes through putRun, which hands
    // the block on and splits the run if it is longer than a block.
    __attribute__((target("avx512f"), always_inline)) inline void keyedLoop(KeyedRuns& runs, std::uint64_t& low,
                                                                            std::uint64_t& high, const __m512i* index,
                                                                            const __mmask16* lanes) {
        const unsigned shift = 16 * static_cast<unsigned>(runs.term & 3);
        const std::uint64_t keep = ~(std::uint64_t{0xffff} << shift);
        // Kept in registers: the stores below may alias anything, `runs` and `this` included.
        const std::uint32_t* const starts = runs.starts;
        const std::uint64_t* const values = runs.values;
        const bool prefetch = runs.prefetch;
        const std::uint64_t keyStep = static_cast<std::uint64_t>(runs.keyStep);
        const std::int64_t valueStep = runs.valueStep;
        const bool lowTerm = runs.term < 4;
        const std::int32_t target = m_target;
        Solution* const block = m_block.data();
        std::uint64_t key = runs.key;
        std::int64_t value = runs.value;
        std::size_t at = m_used;
        for (std::int64_t count = runs.count; count > 0; --count, key += keyStep, value += valueStep) {
            if (prefetch) { // the buckets a few values ahead, and their runs
                if (count > 8)
                    __builtin_prefetch(starts + (key + 8 * keyStep));
                if (count > 3)
                    __builtin_prefetch(values + starts[key + 3 * keyStep]);
            }
            const std::uint32_t begin = starts[key];
            const std::size_t n = starts[key + 1] - begin;
            if (n == 0)
                continue;
            const std::uint64_t bits = std::uint64_t{static_cast<std::uint16_t>(value)} << shift;
            if (lowTerm)
                low = (low & keep) | bits;
            else
                high = (high & keep) | bits;
            if (at + n > kBlock) {
                m_used = at;
                putRun(values + begin, n, low, high);
                at = m_used;
                continue;
            }
            writeWideGroups(block, at, values + begin, n, low, high, target, index, lanes);
            at += n;
        }
        runs.count = 0;
        m_used = at;
    }
#endif

    void capture() {
        if (!m_recordComplete)
            return;
        if (m_record->size() + (m_used - m_recordFrom) > m_recordCap) {
            m_recordComplete = false;
            m_record->clear();
            return;
        }
        try {
            m_record->insert(m_record->end(), m_block.begin() + static_cast<std::ptrdiff_t>(m_recordFrom),
                             m_block.begin() + static_cast<std::ptrdiff_t>(m_used));
        } catch (const std::bad_alloc&) { // a record only saves time: search again instead
            m_recordComplete = false;
            std::vector<Solution>().swap(*m_record);
            return;
        }
        m_recordFrom = m_used;
    }

    static constexpr std::size_t kBlock = 1024;
    bool m_recording = false;
    bool m_recordComplete = false;
    std::size_t m_recordCap = 0;
    std::size_t m_recordFrom = 0;
    std::vector<Solution>* m_record = nullptr;
    SolutionSink& m_sink;
    std::int32_t m_target;
    static constexpr std::size_t kSlack = 16; // room for a group written past the block's end
    bool m_wide = false;                      // writeRunWide: sixteen records in five 64-byte words
    alignas(64) std::array<Solution, kBlock + kSlack> m_block{}; // 64-byte words at every sixteenth record
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
        const std::uint64_t keep = ~(std::uint64_t{0xffff} << (16 * (k & 3)));
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
                m_out->putKeyedRuns(runs, lower, m_sparse->min(), m_sparse->divisor(), k - 1, L.weight, rest, first,
                                    last, L.modulus, m_low, m_high);
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
