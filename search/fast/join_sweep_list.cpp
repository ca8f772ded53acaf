// Listing by a sweep. A first sweep counts, per outer row, the outer combinations with a match and
// their solutions; rows then go in chunks whose solutions fit the memory, and everything the chunks
// need is taken before the first solution is handed on. For each chunk a second sweep, in steps of
// a few thousand keys whose slots stay in the cache, groups each step's inner combinations by key
// (in enumeration order) and copies, for each matching outer combination, its group into the row's
// place in a store, with a record of the outer combination. The records of a row, sorted by the
// outer fast index, give the solutions in order.
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

double bytesOf(const RowTotals& totals, std::size_t b) {
    const double matches = double(totals.matches[0][b] + totals.matches[1][b]);
    return 12 * matches + 4 * double(totals.solutions[0][b] + totals.solutions[1][b]);
}

// The copying sweep goes through a counting window in smaller steps: its slots stay in the cache.
constexpr std::uint64_t kCopyWindow = std::uint64_t{1} << 15;

// Per key of a copying window: the members counted, then where its group starts and ends.
constexpr std::uint32_t kNone = 0xffffffff;
struct Slot {
    std::uint32_t end = 0;
    std::uint32_t start = kNone;
};

} // namespace

bool sweepList(const Side& inner, const Side& outer, const SweepSide& innerKeys, const SweepSide& outerKeys,
               std::uint64_t span, int threads, std::size_t memoryBytes, RowStart from, PackedSink& out) {
    RowTotals totals;
    try {
        sweepCount(innerKeys, outerKeys, span, threads, &totals);
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }
    const std::size_t rowCount = outerKeys.base.size();
    // Chunks of outer rows, in order, each within what memory leaves beside the window buffers.
    // Store offsets are 32 bits: a chunk never holds more than 2^32 words, whatever the limit.
    const double budget =
        std::min(double(memoryBytes), kListBlockBytes) - 8.0 * double(totals.widestWindow) * threads;
    std::vector<std::size_t> chunkStart{from.row};
    double used = 0;
    for (std::size_t b = from.row; b < rowCount; ++b) {
        const double bytes = bytesOf(totals, b);
        if (bytes > budget)
            return false;
        if (used + bytes > budget) {
            chunkStart.push_back(b);
            used = 0;
        }
        used += bytes;
    }
    chunkStart.push_back(rowCount);
    // Everything the listing holds is taken here, before the first solution is handed on: from then
    // on it completes, or stops only for what the sink throws.
    std::vector<ChunkPlaces> places, moving; // moving: the places the copying sweep advances
    std::vector<RowCursors> cursors;          // per chunk and thread: the inner rows', the outer rows'
    Buffer<std::uint32_t> store;              // written before read: not cleared
    Buffer<std::uint64_t> records;
    std::array<std::vector<std::uint32_t>, 2> groups;
    std::array<std::vector<Slot>, 2> slots;
    std::array<std::vector<std::uint64_t>, 2> scratch; // per thread, for sorting a row's records
    std::vector<PackedValues> batch;
    constexpr std::size_t kBatch = 1024;
    try {
        std::size_t words = 0, recordCount = 0, rowRecords = 0;
        for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
            places.push_back(placesOf(totals, chunkStart[c], chunkStart[c + 1]));
            words = std::max(words, places.back().words);
            recordCount = std::max(recordCount, places.back().records);
            for (int t = 0; t < threads; ++t) {
                const auto firstKey = static_cast<std::int64_t>(windowShare(span, t, threads).first * kWindow);
                cursors.emplace_back(innerKeys, firstKey, 0, innerKeys.base.size());
                cursors.emplace_back(outerKeys, firstKey, chunkStart[c], chunkStart[c + 1]);
            }
        }
        moving = places;
        for (std::size_t b = 0; b < rowCount; ++b)
            rowRecords = std::max<std::size_t>(rowRecords, totals.matches[0][b] + totals.matches[1][b]);
        store = Buffer<std::uint32_t>(words);
        records = Buffer<std::uint64_t>(recordCount);
        batch.resize(kBatch);
        for (std::size_t t = 0; t < static_cast<std::size_t>(threads); ++t) {
            groups[t].resize(totals.widestWindow);
            slots[t].resize(kCopyWindow);
            scratch[t].resize(rowRecords);
        }
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }

    const unsigned innerBits = inner.fast.bits;
    const std::uint32_t innerMask = (std::uint32_t{1} << innerBits) - 1;
    std::size_t filled = 0;
    for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
        const std::size_t rowFirst = chunkStart[c], rowEnd = chunkStart[c + 1];
        ChunkPlaces& at = moving[c];
        onThreads(threads, [&](int t) {
            const auto T = static_cast<std::size_t>(t);
            const auto [first, end] = windowShare(span, t, threads);
            if (first >= end)
                return;
            Slot* const slot = slots[T].data();
            std::uint32_t* const group = groups[T].data();
            std::size_t* const record = at.record[T].data();
            std::size_t* const word = at.store[T].data();
            const auto firstKey = static_cast<std::int64_t>(first * kWindow);
            RowCursors& in = cursors[2 * (c * static_cast<std::size_t>(threads) + T)];
            RowCursors& outs = cursors[2 * (c * static_cast<std::size_t>(threads) + T) + 1];
            const std::int64_t last = static_cast<std::int64_t>(std::min(end * kWindow, span + 1));
            for (auto lo = firstKey; lo < last; lo += static_cast<std::int64_t>(kCopyWindow)) {
                const std::int64_t hi = std::min(lo + static_cast<std::int64_t>(kCopyWindow), last);
                std::uint32_t fill = 0;
                in.advance(hi, [&](std::size_t, std::size_t, std::int64_t key) { ++slot[key - lo].end; ++fill; });
                if (fill == 0) {
                    outs.advance(hi, [](std::size_t, std::size_t, std::int64_t) {});
                    continue;
                }
                // Each key's group: its members in enumeration order (rows, then fast indices, ascending).
                fill = 0;
                in.again([&](std::size_t b, std::size_t i, std::int64_t key) {
                    Slot& k = slot[key - lo];
                    if (k.start == kNone) {
                        k.start = fill;
                        fill += k.end;
                        k.end = k.start;
                    }
                    group[k.end++] = static_cast<std::uint32_t>(b << innerBits) | innerKeys.fastIndex[i];
                });
                outs.advance(hi, [&](std::size_t b, std::size_t i, std::int64_t key) {
                    const Slot k = slot[key - lo];
                    if (k.start == kNone)
                        return;
                    const std::size_t r = b - rowFirst;
                    records[record[r]++] = std::uint64_t{outerKeys.fastIndex[i]} << 32 | word[r];
                    std::uint32_t* to = store.data() + word[r];
                    *to++ = k.end - k.start;
                    for (std::uint32_t m = k.start; m < k.end; ++m)
                        *to++ = group[m];
                    word[r] += 1 + k.end - k.start;
                });
                in.again([&](std::size_t, std::size_t, std::int64_t key) { slot[key - lo] = Slot{}; });
            }
        });
        // Each row's records sorted by the outer fast index, the rows shared between the threads.
        const std::size_t rows = rowEnd - rowFirst;
        const auto rowRecordsAt = [&](std::size_t r) {
            return std::pair{places[c].record[0][r], r + 1 < rows ? places[c].record[0][r + 1] : places[c].records};
        };
        onThreads(threads, [&](int t) {
            for (std::size_t r = static_cast<std::size_t>(t); r < rows; r += static_cast<std::size_t>(threads)) {
                const auto [from, to] = rowRecordsAt(r);
                sortByBits(records.data() + from, to - from, 32, outer.fast.bits, scratch[static_cast<std::size_t>(t)]);
            }
        });
        // Row by row in enumeration order.
        for (std::size_t b = rowFirst; b < rowEnd; ++b) {
            const std::size_t r = b - rowFirst;
            const std::size_t recordEnd = r + 1 < rowEnd - rowFirst ? places[c].record[0][r + 1] : places[c].records;
            const PackedValues& slow = outer.slow.packed[b];
            std::size_t j = places[c].record[0][r];
            while (b == from.row && j < recordEnd && (records[j] >> 32) < from.fast)
                ++j; // listed before the join took over
            for (; j < recordEnd; ++j) {
#if defined(__GNUC__)
                // The groups lie all over the store, their members all over the inner values: ask for
                // the group of a record 16 ahead, and for the members of the one 8 ahead.
                if (j + 16 < recordEnd)
                    __builtin_prefetch(store.data() + static_cast<std::uint32_t>(records[j + 16]));
                if (j + 8 < recordEnd) {
                    const auto a = static_cast<std::uint32_t>(records[j + 8]);
                    for (std::uint32_t m = a + 1, end = a + 1 + std::min<std::uint32_t>(store[a], 4); m < end; ++m)
                        __builtin_prefetch(inner.fast.packed.data() + (store[m] & innerMask));
                }
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
