// The join of a box's two halves. Counting and listing mostly go by a sweep over the sorted sums
// (join_sweep.h), which holds little memory; this file holds the other way, a partitioned hash join,
// which the plan (planJoin, in cost_model.cpp) takes when it is cheaper.
//
// Meet in the middle by a partitioned hash join. The terms of a box split into an inner part 1..m and
// an outer part m+1..8. The inner combinations are scattered by a hash of their sum into partitions
// small enough for the processor's cache, then grouped by sum within each partition, each group in
// enumeration order. The outer combinations, a chunk of rows at a time, go through the same scatter
// with the sum they need from the inner terms; each partition's groups are put in a small table and
// the outer keys look themselves up in it. Counting adds the sizes of the groups found. Listing marks
// each outer combination with its group, then walks the chunk in enumeration order and writes each
// marked combination with every member of its group: the solutions come out in order.
#include "search/fast/join.h"

#include "search/fast/cost_model.h"
#include "search/fast/join_buffer.h"
#include "search/fast/join_parts.h"
#include "search/fast/join_sweep.h"
#include "search/fast/join_threads.h"
#include "search/fast/key_table.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numeric>
#include <utility>

namespace velmora::fast {

using join::Buffer;
using join::KeyTable;
using join::Partitioning;
using join::Side;

namespace {

// Partitions of about kPartitionCombinations inner combinations, at most 2^12 of them.
Partitioning partitioningFor(double inner) {
    Partitioning parts;
    while (parts.bits < 12 && inner / double(parts.count()) > join::kPartitionCombinations)
        ++parts.bits;
    return parts;
}

// Partitions [first, end) of thread t's share.
std::pair<std::size_t, std::size_t> share(std::size_t partitions, int t, int threads) {
    if (threads == 1)
        return {0, partitions};
    return t == 0 ? std::pair{std::size_t{0}, partitions / 2} : std::pair{partitions / 2, partitions};
}

// The inner side's indices, scattered by partition. Listing groups each partition by key in place:
// group g of partition p has the number gid = partStart[p] + g, and its members, in enumeration order,
// are indices[start[gid] .. start[gid + 1]).
struct Inner {
    Side side;
    join::KeyRows rows;
    Partitioning parts;
    std::vector<std::size_t> partStart;
    std::vector<std::uint32_t> partGroups;
    Buffer<std::uint32_t> indices;
    Buffer<std::uint32_t> start;

    Inner(const JoinBox& box, int m, int threads) : side(join::makeSide(box, 0, m)) {
        rows.side = &side;
        rows.offset = -side.min();
        rows.span = static_cast<std::uint64_t>(side.max() - side.min());
        rows.rowEnd = side.slow.sums.size();
        const std::size_t n = side.fast.sums.size() * side.slow.sums.size();
        parts = partitioningFor(double(n));
        indices = Buffer<std::uint32_t>(n);
        join::scatter(rows, parts, indices.data(), partStart, threads);
    }

    void group(int threads) {
        const std::size_t n = indices.size(), P = parts.count();
        start = Buffer<std::uint32_t>(n + 1);
        start[n] = static_cast<std::uint32_t>(n);
        partGroups.assign(P, 0);
        join::onThreads(threads, [&](int t) {
            KeyTable table;
            std::vector<std::uint32_t> cursor, copy;
            const auto [first, end] = share(P, t, threads);
            for (std::size_t p = first; p < end; ++p) {
                const std::size_t base = partStart[p], size = partStart[p + 1] - base;
                copy.assign(indices.data() + base, indices.data() + base + size);
                table.reset(std::min<std::size_t>(size, 1 << 14));
                cursor.clear();
                for (const std::uint32_t index : copy) {
                    bool added = false;
                    const std::uint32_t g = table.insert(rows.keyOf(index), static_cast<std::uint32_t>(cursor.size()), added);
                    if (added)
                        cursor.push_back(0);
                    ++cursor[g];
                }
                auto at = static_cast<std::uint32_t>(base);
                for (std::size_t g = 0; g < cursor.size(); ++g) {
                    start[base + g] = at;
                    at += std::exchange(cursor[g], at);
                }
                // The place after the last group closes it. When every member has a group of its own,
                // that place is the next partition's first group, whose start is the same.
                if (cursor.size() < size)
                    start[base + cursor.size()] = static_cast<std::uint32_t>(base + size);
                partGroups[p] = static_cast<std::uint32_t>(cursor.size());
                for (const std::uint32_t index : copy)
                    indices[cursor[table.find(rows.keyOf(index))]++] = index;
            }
        });
    }

    std::uint32_t groupKey(std::size_t gid) const { return rows.keyOf(indices[start[gid]]); }
};

// What probing holds besides its elements; a listing takes it before its first solution, with the
// tables reserved for the largest partition, and probes every chunk with it.
struct ProbeScratch {
    std::vector<std::size_t> starts;
    join::ScatterCursors cursors;
    std::array<KeyTable, 2> tables;
};

// The outer rows [rowFirst, rowEnd), scattered by the inner side's partitions with the key the inner
// terms must make: calls found(t, index, p, value) on thread t for each outer combination whose key
// `table` of partition p holds, after fill(table, p) put the partition's inner keys in it.
template <class Fill, class Found>
void probe(const Inner& inner, const Side& outer, std::int64_t target, std::size_t rowFirst, std::size_t rowEnd,
           std::uint32_t* elements, int threads, ProbeScratch& scratch, Fill&& fill, Found&& found) {
    join::KeyRows rows;
    rows.side = &outer;
    rows.offset = target - inner.side.min();
    rows.sign = -1;
    rows.span = inner.rows.span;
    rows.rowFirst = rowFirst;
    rows.rowEnd = rowEnd;
    std::vector<std::size_t>& starts = scratch.starts;
    join::scatter(rows, inner.parts, elements, starts, threads, &scratch.cursors);
    const std::size_t P = inner.parts.count();
    join::onThreads(threads, [&](int t) {
        KeyTable& table = scratch.tables[static_cast<std::size_t>(t)];
        const auto [first, end] = share(P, t, threads);
        for (std::size_t p = first; p < end; ++p) {
            if (starts[p] == starts[p + 1] || inner.partStart[p] == inner.partStart[p + 1])
                continue;
            fill(table, p);
            for (std::size_t i = starts[p]; i < starts[p + 1]; ++i) {
                const std::uint32_t value = table.find(rows.keyOf(elements[i]));
                if (value != KeyTable::kNone)
                    found(t, elements[i], value);
            }
        }
    });
}

} // namespace

bool joinCount(const JoinBox& box, const JoinPlan& plan, const JoinLimits& limits, SolutionCount& count) {
    if (plan.m == 0)
        return false;
    const int threads = std::clamp(limits.threads, 1, 2);
    try {
        if (plan.sweep) {
            const join::Sweeps s = join::makeSweeps(box, plan.m, threads);
            count = join::sweepCount(s.innerKeys, s.outerKeys, s.span(), threads, nullptr, limits.progress);
            return true;
        }
        const Inner inner(box, plan.m, threads);
        const Side outer = join::makeSide(box, plan.m, kTerms);
        const std::size_t rowCount = outer.slow.sums.size();
        Buffer<std::uint32_t> elements(std::min(plan.chunkRows, rowCount) * outer.fast.sums.size());
        std::array<unsigned __int128, 2> totals{};
        ProbeScratch scratch;
        // Each partition's table counts the inner combinations of each key.
        const auto fill = [&](KeyTable& table, std::size_t p) {
            table.reset(std::min<std::size_t>(inner.partStart[p + 1] - inner.partStart[p], 1 << 14));
            for (std::size_t i = inner.partStart[p]; i < inner.partStart[p + 1]; ++i) {
                bool added = false;
                std::uint32_t& n = table.insert(inner.rows.keyOf(inner.indices[i]), 0, added);
                ++n;
            }
        };
        for (std::size_t r = 0; r < rowCount; r += plan.chunkRows)
            probe(inner, outer, box.target, r, std::min(r + plan.chunkRows, rowCount), elements.data(), threads, scratch, fill,
                  [&](int t, std::uint32_t, std::uint32_t n) { totals[static_cast<std::size_t>(t)] += n; });
        count = SolutionCount(totals[0]) + SolutionCount(totals[1]);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

// The partitioned join's listing: the inner side grouped by key, the outer rows in chunks, each
// chunk's outer combinations marked with their group, then walked in enumeration order.
bool listPartitioned(const JoinBox& box, const JoinPlan& plan, int threads, const std::array<std::int32_t, 8>* start,
                     PackedSink& out) {
    std::unique_ptr<Inner> inner;
    Buffer<std::uint32_t> elements, marks;
    Side outer;
    ProbeScratch scratch;
    constexpr std::size_t kBatch = 1024;
    std::vector<PackedValues> batch;
    try {
        inner = std::make_unique<Inner>(box, plan.m, threads);
        inner->group(threads);
        outer = join::makeSide(box, plan.m, kTerms);
        const std::size_t size = std::min(plan.chunkRows, outer.slow.sums.size()) * outer.fast.sums.size();
        elements = Buffer<std::uint32_t>(size);
        marks = Buffer<std::uint32_t>(size);
        const std::size_t P = inner->parts.count();
        scratch.starts.reserve(P + 1);
        for (std::size_t t = 0; t < 2; ++t) {
            scratch.cursors[t].reserve(P);
            scratch.tables[t].reserve(*std::max_element(inner->partGroups.begin(), inner->partGroups.end()));
        }
        batch.resize(kBatch);
    } catch (const std::bad_alloc&) {
        return false; // nothing handed on yet
    }
    const Inner& g = *inner;
    const std::size_t fastSize = outer.fast.sums.size(), rowCount = outer.slow.sums.size();
    const join::RowStart from = join::startOf(box, plan.m, join::splitPoint(box, plan.m, kTerms), start);
    const unsigned fastBits = outer.fast.bits;
    const std::uint32_t fastMask = (std::uint32_t{1} << fastBits) - 1;
    const auto fill = [&](KeyTable& table, std::size_t p) {
        table.reset(g.partGroups[p]);
        bool added = false;
        for (std::uint32_t k = 0; k < g.partGroups[p]; ++k)
            table.insert(g.groupKey(g.partStart[p] + k), static_cast<std::uint32_t>(g.partStart[p] + k), added);
    };
    const std::size_t innerBits = g.side.fast.bits;
    const std::uint32_t innerMask = (std::uint32_t{1} << innerBits) - 1;
    const PackedValues* innerFast = g.side.fast.packed.data();
    const PackedValues* innerSlow = g.side.slow.packed.data();
    std::size_t used = 0;
    for (std::size_t r = from.row; r < rowCount; r += plan.chunkRows) {
        const std::size_t rowEnd = std::min(r + plan.chunkRows, rowCount);
        if (r > from.row) { // the last chunk's solutions reach the reader before this one is probed
            out.put(std::span<const PackedValues>(batch.data(), used));
            used = 0;
            out.idle();
        }
        std::memset(marks.data(), 0, (rowEnd - r) * fastSize * sizeof(std::uint32_t));
        probe(g, outer, box.target, r, rowEnd, elements.data(), threads, scratch, fill,
              [&](int, std::uint32_t index, std::uint32_t gid) {
                  marks[(index >> fastBits) * fastSize + (index & fastMask)] = gid + 1;
              });
        // In enumeration order: each marked outer combination with every member of its group.
        const std::uint32_t* mark = marks.data();
        for (std::size_t b = r; b < rowEnd; ++b) {
            const PackedValues& slow = outer.slow.packed[b];
            for (std::size_t a = 0; a < fastSize; ++a, ++mark) {
                if (*mark == 0 || (b == from.row && a < from.fast))
                    continue;
                const std::size_t gid = *mark - 1;
                const std::uint64_t low = slow.low | outer.fast.packed[a].low;
                const std::uint64_t high = slow.high | outer.fast.packed[a].high;
                for (std::uint32_t j = g.start[gid], end = g.start[gid + 1]; j < end; ++j) {
                    const std::uint32_t index = g.indices[j];
                    const PackedValues& x = innerFast[index & innerMask];
                    const PackedValues& y = innerSlow[index >> innerBits];
                    batch[used++] = {low | x.low | y.low, high | x.high | y.high};
                    if (used == kBatch) {
                        out.put(std::span<const PackedValues>(batch.data(), used));
                        used = 0;
                    }
                }
            }
        }
    }
    if (used > 0)
        out.put(std::span<const PackedValues>(batch.data(), used));
    return true;
}

} // namespace

bool joinList(const JoinBox& box, const JoinPlan& plan, const JoinLimits& limits, PackedSink& out,
              const std::array<std::int32_t, 8>* start) {
    if (plan.m == 0)
        return false;
    const int threads = std::clamp(limits.threads, 1, 2);
    if (plan.sweep) {
        join::Sweeps s;
        try {
            s = join::makeSweeps(box, plan.m, threads);
        } catch (const std::bad_alloc&) {
            return false;
        }
        // sweepList fails only before it hands anything on; what the sink throws goes to the caller.
        // Without the memory, the caller takes the recursion: the partitioned join would need more.
        return join::sweepList(s, threads, limits, join::startOf(box, plan.m, join::sweepSplit(box, plan.m, kTerms), start),
                               out);
    }
    return listPartitioned(box, plan, threads, start, out);
}

} // namespace velmora::fast
