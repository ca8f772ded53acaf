#pragma once

// The pieces of the join: the combinations of a run of terms, the two halves of a side, and the
// partitioned scatter both sides go through. Beside them: join_buffer.h (uninitialised buffers),
// key_table.h (the small in-cache table of keys) and join_threads.h (work on one thread or two).

#include "search/fast/join.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::fast::join {

/// Every combination of the consecutive terms [from, to) of a box, first term fastest, with its sum
/// and its packed values. An empty run of terms has one combination, of sum 0.
struct TermRun {
    std::vector<std::int64_t> sums;
    std::vector<PackedValues> packed;
    std::int64_t min = 0;
    std::int64_t max = 0;
    unsigned bits = 0; ///< bit width of the largest index
};

/// Without `packed`, the run has no packed values (a sweep's fast run looks them up instead).
TermRun makeTermRun(const JoinBox& box, int from, int to, bool packed = true);

/// The terms [from, to) as two runs: `fast` holds the earlier terms, `slow` the later ones, so that a
/// combination is (slow index, fast index) and, with the slow index major, indices grow in
/// enumeration order.
struct Side {
    TermRun fast;
    TermRun slow;
    std::int64_t min() const { return fast.min + slow.min; }
    std::int64_t max() const { return fast.max + slow.max; }
};

/// Where terms [from, to) split into the two runs of a side: the point where they come closest in size.
int splitPoint(const JoinBox& box, int from, int to);
/// The number of combinations of terms [from, to).
double combinations(const JoinBox& box, int from, int to);

Side makeSide(const JoinBox& box, int from, int to);

/// Where a listing of the outer side starts: its slow row and, within that row, its fast index.
struct RowStart {
    std::size_t row = 0;
    std::size_t fast = 0;
};

/// The outer side's place of the combination whose terms m+1..8 hold `start` (term k+1 at start[k]),
/// the outer side split into a fast run [m, split) and a slow run [split, 8); the beginning when null.
RowStart startOf(const JoinBox& box, int m, int split, const std::array<std::int32_t, 8>* start);

/// The partition of a key: the top bits of a multiplicative hash, so that the sums of large weights,
/// which crowd a few ranges, spread evenly.
struct Partitioning {
    unsigned bits = 0;
    std::size_t count() const { return std::size_t{1} << bits; }
    std::size_t of(std::uint32_t key) const {
        return bits == 0 ? 0 : static_cast<std::size_t>((key * 0xc2b2ae3d27d4eb4full) >> (64 - bits));
    }
};

/// The keys of a side's rows [rowFirst, rowEnd) of slow indices: key = offset + sign * sum, kept when
/// it lies in [0, span]. A combination's index is (row - rowFirst) << fast.bits | fast index: indices
/// grow in enumeration order, and keyOf() finds the key again from the index.
struct KeyRows {
    const Side* side = nullptr;
    std::int64_t offset = 0;
    int sign = 1;
    std::uint64_t span = 0;
    std::size_t rowFirst = 0;
    std::size_t rowEnd = 0;

    std::uint32_t keyOf(std::uint32_t index) const {
        const std::int64_t sum = side->slow.sums[rowFirst + (index >> side->fast.bits)] +
                                 side->fast.sums[index & ((std::uint32_t{1} << side->fast.bits) - 1)];
        return static_cast<std::uint32_t>(offset + sign * sum);
    }
    std::size_t capacity() const { return (rowEnd - rowFirst) << side->fast.bits; }
};

/// Per-thread counts of a scatter, kept so that scattering again allocates nothing.
using ScatterCursors = std::array<std::vector<std::size_t>, 2>;

/// Scatters the indices of the kept combinations into `out` by the partition of their key, in index
/// order within a partition; `starts` receives count() + 1 offsets. Runs on `threads` threads.
void scatter(const KeyRows& rows, const Partitioning& parts, std::uint32_t* out, std::vector<std::size_t>& starts,
             int threads, ScatterCursors* cursors = nullptr);

} // namespace velmora::fast::join
