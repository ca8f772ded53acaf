// Listing by a sweep, in phases. Plan: a first sweep counts, per outer row, the outer combinations
// with a match and their solutions, and the rows go in chunks whose solutions fit a block of memory
// (join_sweep_chunks.cpp).
// Allocate: everything the chunks need is taken once, before the first solution is handed on, and
// used again by every chunk. Then, chunk by chunk, sweep: a second sweep, in steps of a few thousand
// keys whose slots stay in the cache, sorts each step's inner combinations by key (in enumeration
// order) and copies, for each matching outer combination, its group into the row's place in a store,
// with a record of the outer combination; sort: the records of each row by the outer fast index;
// emit (join_sweep_emit.cpp): the solutions in enumeration order.
#include "search/fast/join_sweep.h"

#include "search/fast/join_buffer.h"
#include "search/fast/join_sweep_chunks.h"
#include "search/fast/join_sweep_emit.h"
#include "search/fast/join_threads.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

namespace velmora::fast::join {
namespace {

// The copying sweep goes through the keys in steps of 2^15 to 2^18 keys (copyWindow()).
constexpr std::uint64_t kMinCopyWindow = std::uint64_t{1} << 15;
constexpr std::uint64_t kMaxCopyWindow = std::uint64_t{1} << 18;

// Per key of a copying step that has a group: where its members start in the step's groups, and how
// many there are. Whether a key has a group this step is a bit of the step's `present` mask, so slots
// are never cleared.
struct Slot {
    std::uint32_t first;
    std::uint32_t length;
};

// An inner combination of a step (row << fast bits | fast index), and its key's place in the step.
struct Member {
    std::uint32_t id;
    std::uint32_t key;
};

// An outer combination of a step whose key has a group: its row in the chunk, its position in the
// row, and its key's place in the step. Hits are gathered in blocks of kHits, then copied.
struct Hit {
    std::uint32_t row;
    std::uint32_t position;
    std::uint32_t key;
};
constexpr std::size_t kHits = 1024;

// A bit per key of a step.
struct KeyMask {
    std::vector<std::uint64_t> words;
    void clear() { std::fill(words.begin(), words.end(), std::uint64_t{0}); }
    void set(std::uint32_t d) { words[d >> 6] |= std::uint64_t{1} << (d & 63); }
    std::uint32_t test(std::uint32_t d) const { return static_cast<std::uint32_t>(words[d >> 6] >> (d & 63) & 1); }
};

// The width of the copying sweep's steps for chunks of up to `chunkRows` rows. Each step visits every
// row of the inner side and of the chunk: with many rows (two terms in the slow run), steps widen
// until they hold eight keys a row or so; with few rows, narrow steps keep their slots in the cache.
std::uint64_t copyWindow(const SweepSide& innerKeys, const SweepSide& outerKeys, std::size_t chunkRows,
                         std::uint64_t span) {
    const double rows = double(innerKeys.base.size() + chunkRows);
    const double keys = double(innerKeys.values.size()) * double(innerKeys.base.size()) +
                        double(outerKeys.values.size()) * double(chunkRows);
    std::uint64_t window = kMinCopyWindow;
    while (window < kMaxCopyWindow && keys * double(window) / (double(span) + 1) < 8 * rows)
        window *= 2;
    return window;
}

// The most inner combinations a step of the copying sweep groups: a step wider than a counting window
// spans whole counting windows.
std::size_t membersPerStep(const RowTotals& totals, std::uint64_t window) {
    static_assert(kMaxCopyWindow % kWindow == 0 && kWindow % kMinCopyWindow == 0);
    return totals.widestWindow * std::max<std::size_t>(1, window / kWindow);
}

// What the listing holds besides its chunks' store and records: both sides and their sorted keys,
// the totals per row, per thread the copying sweep's slots, groups and cursors and the scratch to sort
// the largest row's records, and an allowance for the rest of the process (the emitter's block, the
// writer's buffer, the program), so that the whole process stays within the join's memory.
double heldBytes(const Side& inner, const Side& outer, const SweepSide& innerKeys, const SweepSide& outerKeys,
                 const RowTotals& totals, int threads) {
    constexpr double kRestOfProcess = 24.0 * (1 << 20);
    double bytes = kRestOfProcess + EmitBuffers::kBytes;
    for (const Side* side : {&inner, &outer})
        for (const TermRun* run : {&side->fast, &side->slow})
            bytes += double(run->sums.size() * sizeof(std::int64_t) + run->packed.size() * sizeof(PackedValues));
    for (const SweepSide* keys : {&innerKeys, &outerKeys})
        bytes += 12.0 * double(keys->values.size()) + 8.0 * double(keys->base.size());
    const std::size_t rows = totals.rows();
    std::uint64_t widestRow = 0;
    for (std::size_t b = 0; b < rows; ++b)
        widestRow = std::max(widestRow, totals.rowMatches(b));
    bytes += double(kParts * (3 + 2 * 2) * sizeof(std::uint64_t)) * double(rows); // the totals, the places
    const double perThread = double(kMaxCopyWindow * (sizeof(Slot) + 1)) + double(kHits * sizeof(Hit)) +
                             double(sizeof(Member) + sizeof(std::uint32_t)) *
                                 double(membersPerStep(totals, kMaxCopyWindow)) +
                             16.0 * double(innerKeys.base.size() + rows) + 8.0 * double(widestRow);
    return bytes + perThread * threads;
}

// What a listing holds: taken before the first solution is handed on, used again for every chunk.
struct ListBuffers {
    ChunkPlaces places, moving;           // moving: the places the copying sweep advances
    std::vector<RowCursors> inner, outer; // per thread
    Buffer<std::uint32_t> store;          // written before read: not cleared
    Buffer<std::uint64_t> records;
    std::array<std::vector<Member>, 2> members;
    std::array<std::vector<std::uint32_t>, 2> groups; // the members' ids, key by key
    std::array<std::vector<Slot>, 2> slots;
    std::array<KeyMask, 2> wanted, present; // per thread: the keys of the step's outer and inner combinations
    std::array<std::vector<Hit>, 2> hits;
    std::uint64_t window = kMinCopyWindow;             // the width of the copying sweep's steps
    std::array<std::vector<std::uint64_t>, 2> scratch; // per thread, for sorting a row's records
    EmitBuffers emit;
};

void allocate(ListBuffers& b, const RowTotals& totals, const std::vector<std::size_t>& chunkStart,
              const SweepSide& innerKeys, const SweepSide& outerKeys, std::uint64_t span, int threads) {
    std::size_t words = 0, recordCount = 0, rows = 0, rowRecords = 0;
    for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
        b.places.fill(totals, chunkStart[c], chunkStart[c + 1]);
        words = std::max(words, b.places.words);
        recordCount = std::max(recordCount, b.places.records);
        rows = std::max(rows, chunkStart[c + 1] - chunkStart[c]);
    }
    for (std::size_t r = chunkStart.front(); r < chunkStart.back(); ++r)
        rowRecords = std::max<std::size_t>(rowRecords, totals.rowMatches(r));
    for (ChunkPlaces* at : {&b.places, &b.moving})
        for (std::size_t p = 0; p < kParts; ++p) {
            at->record[p].reserve(rows);
            at->store[p].reserve(rows);
        }
    for (int t = 0; t < threads; ++t) {
        b.inner.emplace_back(innerKeys, 0, 0, innerKeys.base.size());
        b.outer.emplace_back(outerKeys, 0, 0, rows);
    }
    b.store = Buffer<std::uint32_t>(words, Pages::AtOnce); // every chunk but the last fills most of them
    b.records = Buffer<std::uint64_t>(recordCount, Pages::AtOnce);
    b.emit.allocate();
    b.window = copyWindow(innerKeys, outerKeys, rows, span);
    for (std::size_t t = 0; t < static_cast<std::size_t>(threads); ++t) {
        b.members[t].resize(membersPerStep(totals, b.window));
        b.groups[t].resize(b.members[t].size());
        b.slots[t].resize(std::min(b.window, span + 1)); // the keys lie in [0, span]
        b.wanted[t].words.resize((b.slots[t].size() + 63) / 64);
        b.present[t].words.resize(b.wanted[t].words.size());
        b.hits[t].resize(kHits);
        b.scratch[t].resize(rowRecords);
    }
}

// The sides and the place of one chunk's listing.
struct Chunk {
    const Side& inner;
    const Side& outer;
    const SweepSide& innerKeys;
    const SweepSide& outerKeys;
    RecordLayout layout;
    std::uint64_t span;
    int threads;
    std::size_t rowFirst;
    std::size_t rowEnd;
};

// Sorts the ids of the step's first `fill` members by key into `groups`, each key's in enumeration
// order, and marks the keys that have one: a count per key, the keys' places in key order, then the
// ids, last first, each before the ones after it. Branch-free where the keys follow no pattern.
void groupMembers(const Member* member, std::uint32_t fill, Slot* slot, KeyMask& present, std::uint32_t* groups) {
    present.clear();
    for (std::uint32_t f = 0; f < fill; ++f) {
        const std::uint32_t d = member[f].key;
        slot[d].length = present.test(d) ? slot[d].length + 1 : 1;
        present.set(d);
    }
    std::uint32_t end = 0;
    for (std::size_t w = 0; w < present.words.size(); ++w)
        for (std::uint64_t bits = present.words[w]; bits != 0; bits &= bits - 1) {
            Slot& k = slot[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
            end += k.length;
            k.first = end; // moves down to the group's first member below
        }
    for (std::uint32_t f = fill; f-- > 0;)
        groups[--slot[member[f].key].first] = member[f].id;
}

// Copies the group of each hit into its row's place in the store, with a record (outer fast index,
// store word). A group of one member is not copied: the record holds the member.
void copyHits(const Chunk& c, ListBuffers& b, std::size_t T, std::size_t part, std::size_t hitCount) {
    const Slot* const slot = b.slots[T].data();
    const std::uint32_t* const groups = b.groups[T].data();
    std::size_t* const record = b.moving.record[part].data();
    std::size_t* const word = b.moving.store[part].data();
    std::uint32_t* const store = b.store.data();
    for (std::size_t h = 0; h < hitCount; ++h) {
        const Hit hit = b.hits[T][h];
        const Slot k = slot[hit.key];
        const std::uint32_t fast = c.outerKeys.fastIndex[hit.position];
        if (k.length == 1) {
            b.records[record[hit.row]++] = c.layout.record(fast, 1, groups[k.first]);
            continue;
        }
        const std::size_t at = word[hit.row];
        b.records[record[hit.row]++] = c.layout.record(fast, k.length, at);
        std::uint32_t* to = store + at;
        if (k.length >= c.layout.longGroup())
            *to++ = k.length;
        for (const std::uint32_t *from = groups + k.first, *const stop = from + k.length; from < stop; ++from)
            *to++ = *from; // groups are short: a call to memmove would cost more
        word[hit.row] = static_cast<std::size_t>(to - store);
    }
}

// Part p of the copying sweep on thread t, step by step: mark the chunk's outer keys, gather the inner
// combinations with a marked key and sort them into groups, then copy the group of each outer
// combination whose key has one. Most keys match nothing; the gathering is branch-free.
void sweepPart(const Chunk& c, ListBuffers& b, int t, std::size_t p) {
    const auto T = static_cast<std::size_t>(t);
    const auto [first, end] = windowPart(c.span, p);
    if (first >= end)
        return;
    Member* const member = b.members[T].data();
    KeyMask& wanted = b.wanted[T];
    KeyMask& present = b.present[T];
    Hit* const hits = b.hits[T].data();
    const unsigned innerBits = c.inner.fast.bits;
    const auto firstKey = static_cast<std::int64_t>(first * kWindow);
    RowCursors& in = b.inner[T];
    RowCursors& outs = b.outer[T];
    in.reset(firstKey, 0, c.innerKeys.base.size());
    outs.reset(firstKey, c.rowFirst, c.rowEnd);
    const std::int64_t last = static_cast<std::int64_t>(std::min(end * kWindow, c.span + 1));
    const auto window = static_cast<std::int64_t>(b.window);
    for (auto lo = firstKey; lo < last; lo += window) {
        const std::int64_t hi = std::min(lo + window, last);
        wanted.clear();
        std::size_t outerKeys = 0;
        outs.advance(hi, [&](std::size_t, std::size_t, std::int64_t key) {
            wanted.set(static_cast<std::uint32_t>(key - lo));
            ++outerKeys;
        });
        if (outerKeys == 0) {
            in.advance(hi, [](std::size_t, std::size_t, std::int64_t) {});
            continue;
        }
        // The members of the step's groups in enumeration order (rows, then fast indices, ascending),
        // each written and kept only when its key is wanted.
        std::uint32_t fill = 0;
        in.advance(hi, [&](std::size_t row, std::size_t i, std::int64_t key) {
            const auto d = static_cast<std::uint32_t>(key - lo);
            member[fill] = {static_cast<std::uint32_t>(row << innerBits) | c.innerKeys.fastIndex[i], d};
            fill += wanted.test(d);
        });
        if (fill == 0)
            continue;
        groupMembers(member, fill, b.slots[T].data(), present, b.groups[T].data());
        std::size_t hitCount = 0;
        outs.again([&](std::size_t row, std::size_t i, std::int64_t key) {
            const auto d = static_cast<std::uint32_t>(key - lo);
            hits[hitCount] = {static_cast<std::uint32_t>(row - c.rowFirst), static_cast<std::uint32_t>(i), d};
            hitCount += present.test(d);
            if (hitCount == kHits) {
                copyHits(c, b, T, p, hitCount);
                hitCount = 0;
            }
        });
        copyHits(c, b, T, p, hitCount);
    }
}

// The records of row r of the chunk: [first, end).
std::pair<std::size_t, std::size_t> rowRecords(const ChunkPlaces& at, std::size_t r, std::size_t rows) {
    return {at.record[0][r], r + 1 < rows ? at.record[0][r + 1] : at.records};
}

// Each row's records sorted by the outer fast index, the rows shared between the threads.
void sortChunk(const Chunk& c, ListBuffers& b) {
    const std::size_t rows = c.rowEnd - c.rowFirst;
    onThreads(c.threads, [&](int t) {
        for (std::size_t r = static_cast<std::size_t>(t); r < rows; r += static_cast<std::size_t>(c.threads)) {
            const auto [from, to] = rowRecords(b.places, r, rows);
            sortByBits(b.records.data() + from, to - from, 32 + c.layout.lengthBits, c.layout.fastBits,
                       b.scratch[static_cast<std::size_t>(t)]);
        }
    });
}

} // namespace

bool sweepList(const Sweeps& sweeps, int threads, const JoinLimits& limits, RowStart from, PackedSink& out) {
    const Side& inner = sweeps.inner;
    const Side& outer = sweeps.outer;
    const SweepSide& innerKeys = sweeps.innerKeys;
    const SweepSide& outerKeys = sweeps.outerKeys;
    const std::uint64_t span = sweeps.span();
    ProgressReporter* const progress = limits.progress;
    const RecordLayout layout(outer.fast.bits);
    RowTotals totals;
    totals.longGroup = layout.longGroup();
    ListBuffers buffers;
    std::vector<std::size_t> chunkStart;
    try {
        // A reader gone is noticed between the count's parts, not only after the count.
        sweepCount(innerKeys, outerKeys, span, threads, &totals, progress, 0, 0.5, &out);
        const double memory = double(limits.memoryBytes ? limits.memoryBytes : defaultJoinMemory());
        // Store offsets are 32 bits: a chunk never holds more than 2^32 words, whatever the limit.
        double budget = std::min(memory - heldBytes(inner, outer, innerKeys, outerKeys, totals, threads), 8e9);
        if (limits.chunkBytes > 0)
            budget = std::min(budget, double(limits.chunkBytes));
        std::optional<std::vector<std::size_t>> chunks = planChunks(totals, from.row, budget, innerKeys, span, threads);
        if (!chunks)
            return false;
        chunkStart = std::move(*chunks);
        bool matched = false;
        for (std::size_t b = from.row; b < totals.rows() && !matched; ++b)
            matched = totals.rowMatches(b) > 0;
        if (!matched)
            return true; // no outer combination from `from` on has a match: nothing to list
        allocate(buffers, totals, chunkStart, innerKeys, outerKeys, span, threads);
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }
    // From here on the listing completes, or stops only for what the sink throws.
    for (std::size_t c = 0; c + 1 < chunkStart.size(); ++c) {
        const Chunk chunk{inner, outer, innerKeys, outerKeys, layout, span, threads, chunkStart[c], chunkStart[c + 1]};
        out.idle(); // the rows so far reach the reader, and a reader gone is noticed, before the sweep
        if (progress)
            progress->within(0.5 + 0.5 * double(chunk.rowFirst - chunkStart.front()) /
                                       double(chunkStart.back() - chunkStart.front()));
        buffers.places.fill(totals, chunk.rowFirst, chunk.rowEnd);
        if (buffers.places.records == 0)
            continue; // no outer combination of these rows has a match: nothing to sweep for
        buffers.moving.fill(totals, chunk.rowFirst, chunk.rowEnd);
        onParts(threads, kParts, [&](int t, std::size_t p) { sweepPart(chunk, buffers, t, p); });
        sortChunk(chunk, buffers);
        const ChunkRecords records{buffers.records.data(), buffers.store.data(),  buffers.places.record[0].data(),
                                   buffers.places.records, chunk.rowFirst, chunk.rowEnd, layout};
        emitChunk(records, sweeps, from, threads, buffers.emit, out);
    }
    return true;
}

} // namespace velmora::fast::join
