// Listing by a sweep. A first sweep counts, per outer row, the outer combinations with a match and
// their solutions; rows then go in chunks whose solutions fit the memory. For each chunk a second
// sweep groups each window's inner combinations by key (in enumeration order) and copies, for each
// matching outer combination, its group into the row's place in a store, with a record of the outer
// combination. The records of a row, sorted by the outer fast index, give the solutions in order.
#include "search/fast/join_sweep.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace velmora::fast::join {
namespace {

// Per row and thread: where its records and its store words start within the chunk.
struct ChunkPlaces {
    std::array<std::vector<std::size_t>, 2> record;
    std::array<std::vector<std::size_t>, 2> store;
    std::size_t records = 0;
    std::size_t words = 0;
};

ChunkPlaces placesOf(const RowTotals& totals, std::size_t rowFirst, std::size_t rowEnd) {
    ChunkPlaces at;
    for (std::size_t t = 0; t < 2; ++t) {
        at.record[t].resize(rowEnd - rowFirst);
        at.store[t].resize(rowEnd - rowFirst);
    }
    for (std::size_t b = rowFirst; b < rowEnd; ++b)
        for (std::size_t t = 0; t < 2; ++t) {
            at.record[t][b - rowFirst] = at.records;
            at.store[t][b - rowFirst] = at.words;
            at.records += totals.matches[t][b];
            at.words += totals.matches[t][b] + totals.solutions[t][b]; // a length, then the group
        }
    return at;
}

// Sorts records by their upper 32 bits, below 2^bits: least significant digit first, 11 bits a pass.
void sortRecords(std::uint64_t* first, std::size_t n, unsigned bits, std::vector<std::uint64_t>& scratch) {
    if (n < 256) {
        std::sort(first, first + n);
        return;
    }
    scratch.resize(std::max(scratch.size(), n));
    std::uint64_t* from = first;
    std::uint64_t* to = scratch.data();
    std::array<std::size_t, 2048> at;
    for (unsigned shift = 32; shift < 32 + bits; shift += 11) {
        at.fill(0);
        for (std::size_t i = 0; i < n; ++i)
            ++at[from[i] >> shift & 2047];
        std::size_t sum = 0;
        for (std::size_t& a : at)
            sum += std::exchange(a, sum);
        for (std::size_t i = 0; i < n; ++i)
            to[at[from[i] >> shift & 2047]++] = from[i];
        std::swap(from, to);
    }
    if (from != first)
        std::copy(from, from + n, first);
}

double bytesOf(const RowTotals& totals, std::size_t b) {
    const double matches = double(totals.matches[0][b] + totals.matches[1][b]);
    return 12 * matches + 4 * double(totals.solutions[0][b] + totals.solutions[1][b]);
}

} // namespace

bool sweepList(const Side& inner, const Side& outer, const SweepSide& innerKeys, const SweepSide& outerKeys,
               std::uint64_t span, int threads, std::size_t memoryBytes, PackedSink& out) {
    RowTotals totals;
    try {
        sweepCount(innerKeys, outerKeys, span, threads, &totals);
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }
    const std::size_t rowCount = outerKeys.base.size();
    // Chunks of outer rows, in order, each within what memory leaves beside the window buffers.
    // Store offsets are 32 bits: a chunk never holds more than 2^32 words, whatever the limit.
    const double budget = std::min(double(memoryBytes), 8e9) - 8.0 * double(totals.widestWindow) * threads;
    std::vector<std::size_t> chunkStart{0};
    double used = 0, largest = 0;
    for (std::size_t b = 0; b < rowCount; ++b) {
        const double bytes = bytesOf(totals, b);
        if (bytes > budget)
            return false;
        if (used + bytes > budget) {
            chunkStart.push_back(b);
            used = 0;
        }
        used += bytes;
        largest = std::max(largest, used);
    }
    chunkStart.push_back(rowCount);
    std::vector<std::uint32_t> store;
    std::vector<std::uint64_t> records;
    std::array<std::vector<std::uint32_t>, 2> groups;
    try {
        std::size_t words = 0, recordCount = 0;
        for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
            const ChunkPlaces at = placesOf(totals, chunkStart[c], chunkStart[c + 1]);
            words = std::max(words, at.words);
            recordCount = std::max(recordCount, at.records);
        }
        store.resize(words);
        records.resize(recordCount);
        for (int t = 0; t < threads; ++t)
            groups[static_cast<std::size_t>(t)].resize(totals.widestWindow);
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }

    const unsigned innerBits = inner.fast.bits;
    const std::uint32_t innerMask = (std::uint32_t{1} << innerBits) - 1;
    constexpr std::size_t kBatch = 1024;
    std::vector<PackedValues> batch(kBatch);
    std::vector<std::uint64_t> scratch;
    std::size_t filled = 0;
    for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
        const std::size_t rowFirst = chunkStart[c], rowEnd = chunkStart[c + 1];
        ChunkPlaces at = placesOf(totals, rowFirst, rowEnd);
        onThreads(threads, [&](int t) {
            const auto T = static_cast<std::size_t>(t);
            const auto [first, end] = windowShare(span, t, threads);
            if (first >= end)
                return;
            constexpr std::uint32_t kNone = 0xffffffff;
            std::vector<std::uint32_t> counts(kWindow, 0), starts(kWindow, kNone);
            std::uint32_t* const cnt = counts.data();
            std::uint32_t* const start = starts.data();
            std::uint32_t* const group = groups[T].data();
            std::size_t* const record = at.record[T].data();
            std::size_t* const word = at.store[T].data();
            const auto firstKey = static_cast<std::int64_t>(first * kWindow);
            RowCursors in(innerKeys, firstKey, 0, innerKeys.base.size());
            RowCursors outs(outerKeys, firstKey, rowFirst, rowEnd);
            for (std::uint64_t w = first; w < end; ++w) {
                const auto lo = static_cast<std::int64_t>(w * kWindow);
                const std::int64_t hi = std::min(lo + static_cast<std::int64_t>(kWindow), static_cast<std::int64_t>(span) + 1);
                std::uint32_t fill = 0;
                in.advance(hi, [&](std::size_t, std::size_t, std::int64_t key) { ++cnt[key - lo]; ++fill; });
                if (fill == 0) {
                    outs.advance(hi, [](std::size_t, std::size_t, std::int64_t) {});
                    continue;
                }
                // Each key's group: its members in enumeration order (rows, then fast indices, ascending).
                fill = 0;
                in.again([&](std::size_t b, std::size_t i, std::int64_t key) {
                    const auto k = static_cast<std::size_t>(key - lo);
                    if (start[k] == kNone) {
                        start[k] = fill;
                        fill += cnt[k];
                        cnt[k] = start[k];
                    }
                    group[cnt[k]++] = static_cast<std::uint32_t>(b << innerBits) | innerKeys.fastIndex[i];
                });
                outs.advance(hi, [&](std::size_t b, std::size_t i, std::int64_t key) {
                    const auto k = static_cast<std::size_t>(key - lo);
                    if (start[k] == kNone)
                        return;
                    const std::size_t r = b - rowFirst;
                    records[record[r]++] = std::uint64_t{outerKeys.fastIndex[i]} << 32 | word[r];
                    store[word[r]++] = cnt[k] - start[k];
                    std::copy(group + start[k], group + cnt[k], store.data() + word[r]);
                    word[r] += cnt[k] - start[k];
                });
                in.again([&](std::size_t, std::size_t, std::int64_t key) {
                    cnt[key - lo] = 0;
                    start[key - lo] = kNone;
                });
            }
        });
        // Row by row in enumeration order: the row's records sorted by the outer fast index.
        const ChunkPlaces places = placesOf(totals, rowFirst, rowEnd);
        for (std::size_t b = rowFirst; b < rowEnd; ++b) {
            const std::size_t r = b - rowFirst;
            const std::size_t recordEnd = r + 1 < rowEnd - rowFirst ? places.record[0][r + 1] : places.records;
            sortRecords(records.data() + places.record[0][r], recordEnd - places.record[0][r], outer.fast.bits, scratch);
            const PackedValues& slow = outer.slow.packed[b];
            for (std::size_t j = places.record[0][r]; j < recordEnd; ++j) {
#if defined(__GNUC__)
                // The groups lie all over the store: ask for one a few records ahead.
                if (j + 8 < recordEnd)
                    __builtin_prefetch(store.data() + static_cast<std::uint32_t>(records[j + 8]));
#endif
                const PackedValues& fast = outer.fast.packed[records[j] >> 32];
                const std::uint64_t low = slow.low | fast.low, high = slow.high | fast.high;
                const auto w = static_cast<std::uint32_t>(records[j]);
                for (std::uint32_t m = w + 1, end = w + 1 + store[w]; m < end; ++m) {
                    const std::uint32_t index = store[m];
                    const PackedValues& x = inner.fast.packed[index & innerMask];
                    const PackedValues& y = inner.slow.packed[index >> innerBits];
                    batch[filled++] = {low | x.low | y.low, high | x.high | y.high};
                    if (filled == kBatch) {
                        out.put(std::span<const PackedValues>(batch.data(), filled));
                        filled = 0;
                    }
                }
            }
        }
    }
    if (filled > 0)
        out.put(std::span<const PackedValues>(batch.data(), filled));
    return true;
}

} // namespace velmora::fast::join
