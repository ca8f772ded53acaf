// The build of a sparse table with a bucket per key, for inner sums whose keys are no more than the
// entries.
#include "search/fast/sparse_table.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace velmora::fast {

namespace {

// Copies a group of packed values below with term j+1's lane set, and returns the end of the copy.
// Writes up to SparseTable::kCopySpare values past it.
inline std::uint64_t* copyGroup(const std::uint64_t* from, const std::uint64_t* fromEnd, std::uint64_t laneBits,
                                std::uint64_t* to) {
#if VELMORA_SSE2
    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(laneBits));
    const std::ptrdiff_t size = fromEnd - from;
    // Groups are short and of varying size: the first kCopySpare + 1 values are copied whatever the
    // size (past the group, the next group or the padding overwrites them), so that the loop below
    // seldom runs and its branch is predicted.
    static_assert(SparseTable::kCopySpare == 7);
    for (std::ptrdiff_t i = 0; i < 8; i += 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)), bits));
    for (std::ptrdiff_t i = 8; i < size; i += 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)), bits));
    return to + size;
#else
    for (; from != fromEnd; ++from, ++to)
        *to = *from | laneBits;
    return to;
#endif
}

} // namespace

// A bucket per key: the table of terms 1..j+1 grouped by key follows from that of terms 1..j, since
// the group of key K is, for each value v of term j+1 in ascending order, the group of K - delta(v)
// below. Built term by term into sequential writes, each entry copied once per stage.
void SparseTable::buildByMerging(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) {
    // Packed values grouped by key, followed by kCopySpare spare values: see the copy below.
    std::vector<std::uint64_t> below(1 + kCopySpare, 0), above;
    std::vector<std::uint32_t> belowStart = {0, 1}, aboveStart; // start of each key's group, then the end
    // Merging costs a copy per group: while the groups of the first stages hold a value or two, a
    // counting sort of their combinations builds a stage more cheaply.
    const int counted = countedStages(box, weights, terms);
    if (counted == terms) {
        countingStage(box, weights, terms, m_values.data(), m_offsets.data());
        return;
    }
    if (counted > 0) {
        std::size_t entries = 1, keys = 1;
        for (std::size_t k = 0; k < static_cast<std::size_t>(counted); ++k) {
            const auto n = static_cast<std::size_t>(rangeSize(box, static_cast<int>(k)));
            entries *= n;
            keys += static_cast<std::size_t>(std::abs(weights[k] / m_gcd)) * (n - 1);
        }
        below.assign(entries + kCopySpare, 0);
        belowStart.resize(keys + 1);
        countingStage(box, weights, counted, below.data(), belowStart.data());
    }
    for (int j = counted; j < terms; ++j) {
        const bool last = j + 1 == terms;
        const std::int64_t w = weights[static_cast<std::size_t>(j)] / m_gcd;
        const std::int32_t lo = box.lo[static_cast<std::size_t>(j)];
        const std::int32_t hi = box.hi[static_cast<std::size_t>(j)];
        const std::int64_t step = w < 0 ? -w : w;
        const auto belowKeys = static_cast<std::int64_t>(belowStart.size()) - 1;
        const std::int64_t keys = belowKeys + (std::int64_t{hi} - lo) * step;
        const std::size_t entries = belowStart.back() * static_cast<std::size_t>(std::int64_t{hi} - lo + 1);
        std::uint64_t* out = nullptr;
        std::uint32_t* start = nullptr;
        if (last) {
            out = m_values.data();
            start = m_offsets.data();
        } else {
            above.resize(entries + kCopySpare);
            aboveStart.resize(static_cast<std::size_t>(keys) + 1);
            out = above.data();
            start = aboveStart.data();
        }
        // The values whose delta d = key - belowKey lies in [key - belowKeys + 1, key] are those
        // with index i = d / step in [iMin, iMax]: both bounds only grow with the key, so they are
        // advanced rather than divided for.
        std::int64_t iMin = 0, iMax = 0;
        const std::int64_t count = std::int64_t{hi} - lo + 1;
        std::uint64_t* to = out;
        for (std::int64_t key = 0; key < keys; ++key) {
            start[key] = static_cast<std::uint32_t>(to - out);
            std::int64_t first = 0, final = count - 1; // as indices i, values lo + i (w > 0) or hi - i
            if (step != 0) {
                while (iMin * step < key - belowKeys + 1)
                    ++iMin;
                while (iMax + 1 < count && (iMax + 1) * step <= key)
                    ++iMax;
                first = iMin;
                final = iMax;
            }
            // In ascending order of values: i ascending when w > 0, descending when w < 0.
            const std::int64_t di = w < 0 ? -1 : 1;
            for (std::int64_t n = final - first + 1, i = w < 0 ? final : first; n > 0; --n, i += di) {
                const auto b = static_cast<std::size_t>(key - i * step);
                const std::int64_t v = w < 0 ? hi - i : lo + i;
                const std::uint64_t laneBits = lane(j, static_cast<std::int32_t>(v));
                const std::uint64_t* from = below.data() + belowStart[b];
                const std::uint64_t* const fromEnd = below.data() + belowStart[b + 1];
                to = copyGroup(from, fromEnd, laneBits, to);
            }
        }
        const auto at = static_cast<std::uint32_t>(to - out);
        start[keys] = at;
        if (!last) {
            below.swap(above);
            belowStart.swap(aboveStart);
        }
    }
}

// How many of the first stages of buildByMerging to build by countingStage: up to the stage after
// the last one (before the table itself) whose groups average fewer than four values.
int SparseTable::countedStages(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) const {
    double entries = 1, keys = 1;
    int counted = 0;
    for (int j = 0; j + 1 < terms; ++j) {
        const double n = rangeSize(box, j);
        entries *= n;
        keys += double(std::abs(weights[static_cast<std::size_t>(j)] / m_gcd)) * (n - 1);
        if (entries < 4 * keys)
            counted = j + 2;
    }
    return counted;
}

// Terms 1..s grouped by key ((sum - minimum) / gcd), each group in enumeration order, by a stable
// counting sort: `starts` gets the start of each key's group and then the end.
void SparseTable::countingStage(const Box& box, const std::array<std::int64_t, kTerms>& weights, int s, std::uint64_t* out,
                   std::uint32_t* starts) const {
    std::array<std::int64_t, kTerms> scaled{};
    std::int64_t min = 0, max = 0;
    for (int k = 0; k < s; ++k) {
        scaled[static_cast<std::size_t>(k)] = weights[static_cast<std::size_t>(k)] / m_gcd;
        min += productMin(scaled[static_cast<std::size_t>(k)], box, k);
        max += productMax(scaled[static_cast<std::size_t>(k)], box, k);
    }
    const auto keys = static_cast<std::size_t>(max - min) + 1;
    std::fill(starts, starts + keys + 1, 0);
    forEachInner(box, scaled, s, [&](std::int64_t sum, std::uint64_t) { ++starts[sum - min + 1]; });
    std::partial_sum(starts, starts + keys + 1, starts);
    forEachInner(box, scaled, s, [&](std::int64_t sum, std::uint64_t packed) { out[starts[sum - min]++] = packed; });
    std::copy_backward(starts, starts + keys, starts + keys + 1); // starts[key] had become its end
    starts[0] = 0;
}

} // namespace velmora::fast
