// The 64-byte record writer. This unit alone is compiled for AVX-512 (see search/CMakeLists.txt), and
// only runs where hasWideStores() holds. It defines no inline function shared with other units and
// calls none of theirs, so that no copy of shared code compiled for AVX-512 can be picked at link time.
#include "search/fast/record_writer.h"

#if VELMORA_AVX512
#if !defined(__AVX512F__)
#error "wide_writer.cpp must be compiled with -mavx512f"
#endif
#include <immintrin.h>

namespace velmora::fast {
namespace {

// Sixteen records are 320 bytes, five 64-byte words of sixteen 32-bit lanes each. Lane i of word j is
// lane 16j + i of the group: record (16j + i) / 5, field (16j + i) % 5, where field 0 is the sum,
// fields 1 and 2 the low word of packed values (terms 1..4) and fields 3 and 4 the high word.
struct WideLayout {
    // For fields 1 and 2, the lane of the record's low word in the two 64-byte loads of sixteen packed
    // values (0..31); for the others, the lane of the constant (sum 0, high word 1 and 2).
    std::int32_t index[5][16] = {};
    std::uint16_t valueLanes[5] = {}; // the lanes of fields 1 and 2
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

// The layout's index vectors and the masks of their value lanes, loaded once by a caller that writes
// many runs.
struct LoadedLayout {
    __m512i index[5];
    __mmask16 lanes[5];
};

inline LoadedLayout loadWideLayout() {
    static constexpr WideLayout kLayout = makeWideLayout();
    LoadedLayout loaded;
    for (std::size_t j = 0; j < 5; ++j) {
        loaded.lanes[j] = kLayout.valueLanes[j];
        loaded.index[j] = _mm512_loadu_si512(kLayout.index[j]);
    }
    return loaded;
}

// Groups may write up to fifteen records past the run and read up to fifteen values past it.
inline void writeWideGroups(Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n,
                            std::uint64_t lowBits, std::uint64_t high, std::int32_t target,
                            const LoadedLayout& layout) {
    const __m512i constants = _mm512_castsi128_si512(
        _mm_set_epi32(0, static_cast<int>(high >> 32), static_cast<int>(high), target));
    // Each word's index vector with the constants already in their lanes: a permutation that keeps the
    // other lanes then completes the word in one instruction.
    __m512i mixed[5];
    for (std::size_t j = 0; j < 5; ++j)
        mixed[j] = _mm512_mask_permutexvar_epi32(layout.index[j], static_cast<__mmask16>(~layout.lanes[j]),
                                                 layout.index[j], constants);
    const __m512i bits = _mm512_set1_epi64(static_cast<long long>(lowBits));
    const std::size_t end = at + n;
    for (std::size_t i = at; i < end; i = (i + 16) & ~std::size_t{15}) {
        const std::uint64_t* from = inner + (i - at);
        const __m512i a = _mm512_or_si512(_mm512_loadu_si512(from), bits);
        const __m512i b = _mm512_or_si512(_mm512_loadu_si512(from + 8), bits);
        auto* out = reinterpret_cast<__m512i*>(block + i);
        for (std::size_t j = 0; j < 5; ++j)
            _mm512_storeu_si512(out + j, _mm512_mask2_permutex2var_epi32(a, mixed[j], layout.lanes[j], b));
    }
}

// A run that does not fit in what is left of the block: what fits, then the rest after the block is
// handed on, as often as the run needs. Out of line, to keep the keyed loop's registers for its runs.
__attribute__((noinline)) std::size_t writeSplitRun(Solution* block, std::size_t at, std::size_t capacity,
                                                    const std::uint64_t* from, std::size_t size, std::uint64_t low,
                                                    std::uint64_t high, std::int32_t target, HandOnBlock handOn,
                                                    void* context) {
    const LoadedLayout layout = loadWideLayout();
    for (std::size_t left = size; left > 0;) {
        if (at == capacity) {
            handOn(context, at);
            at = 0;
        }
        const std::size_t c = left < capacity - at ? left : capacity - at;
        writeWideGroups(block, at, from, c, low, high, target, layout);
        at += c;
        from += c;
        left -= c;
    }
    return at;
}

} // namespace

void writeRunWide(Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n,
                  std::uint64_t lowBits, std::uint64_t high, std::int32_t target) {
    writeWideGroups(block, at, inner, n, lowBits, high, target, loadWideLayout());
}

std::size_t writeKeyedRunsWide(Solution* block, std::size_t at, std::size_t capacity, const KeyedTable& table,
                               const KeyedProgression* progressions, std::size_t n, std::uint64_t low,
                               std::uint64_t high, std::int32_t target, HandOnBlock handOn, void* context) {
    const LoadedLayout layout = loadWideLayout();
    const unsigned shift = 16 * static_cast<unsigned>(table.term & 3);
    const std::uint64_t keep = ~(std::uint64_t{0xffff} << shift);
    const unsigned upperShift = 16 * static_cast<unsigned>((table.term + 1) & 3);
    const std::uint64_t upperKeep = ~(std::uint64_t{0xffff} << upperShift);
    // Kept in registers: the stores below may alias anything, `table` and `progressions` included.
    const std::uint32_t* const starts = table.starts;
    const std::uint64_t* const values = table.values;
    const bool prefetch = table.prefetch;
    const auto keyStep = static_cast<std::uint64_t>(table.keyStep);
    const std::int64_t valueStep = table.valueStep;
    const bool lowTerm = table.term < 4;
    const bool upper = table.upperTerm >= 0;
    const bool lowUpper = table.term + 1 < 4;
    for (const KeyedProgression* p = progressions; p != progressions + n; ++p) {
        if (upper) {
            const std::uint64_t bits = std::uint64_t{static_cast<std::uint16_t>(p->upperValue)} << upperShift;
            if (lowUpper)
                low = (low & upperKeep) | bits;
            else
                high = (high & upperKeep) | bits;
        }
        std::uint64_t key = p->key;
        std::int64_t value = p->value;
        for (std::int64_t count = p->count; count > 0; --count, key += keyStep, value += valueStep) {
            if (prefetch) { // the buckets a few values ahead, and their runs
                if (count > 8)
                    __builtin_prefetch(starts + (key + 8 * keyStep));
                if (count > 3)
                    __builtin_prefetch(values + starts[key + 3 * keyStep]);
            }
            const std::uint32_t begin = starts[key];
            const std::size_t size = starts[key + 1] - begin;
            if (size == 0)
                continue;
            const std::uint64_t bits = std::uint64_t{static_cast<std::uint16_t>(value)} << shift;
            if (lowTerm)
                low = (low & keep) | bits;
            else
                high = (high & keep) | bits;
            if (at + size <= capacity) {
                writeWideGroups(block, at, values + begin, size, low, high, target, layout);
                at += size;
                continue;
            }
            at = writeSplitRun(block, at, capacity, values + begin, size, low, high, target, handOn, context);
        }
    }
    return at;
}

} // namespace velmora::fast
#endif
