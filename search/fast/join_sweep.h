#pragma once

// A sweep over the sums: the keys of both sides are visited window by window of the key range. Within
// a row of a side the fast run's sums are sorted, so the keys of a window are one stretch of the row:
// each row keeps a pointer that only moves forward. A window's inner keys are counted in a small
// array that the outer keys read; nothing else of the size of a side is held. The fast run holds all
// the side's terms but the last ones, so that rows are few and windows can be small.

#include "search/fast/join_parts.h"
#include "search/fast/progress.h"
#include "search/fast/run_lookup.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace velmora::fast::join {

/// Where terms [from, to) split for a sweep: the fast run as large as 2^21 combinations allow, the
/// last term always in the slow run.
int sweepSplit(const JoinBox& box, int from, int to);
Side makeSweepSide(const JoinBox& box, int from, int to);

/// One side's keys, row by row: the key of position i of row b is base[b] + values[i], values sorted
/// (ties in the order of the fast index), fastIndex[i] the fast index of position i.
struct SweepSide {
    std::vector<std::int64_t> values;
    std::vector<std::uint32_t> fastIndex;
    std::vector<std::int64_t> base;
};

/// Both sides of a sweep with the inner terms [0, m): their runs and their sorted keys, one side a
/// thread when there are two. The inner side's keys are sum - minimum, the outer side's target -
/// minimum of the inner side - sum: a match is an inner and an outer key that are equal.
struct Sweeps {
    Side inner, outer; // their fast runs keep only their minimum, maximum and bits: the keys hold their sums
    SweepSide innerKeys, outerKeys;
    // The sides' fast runs, for listing: their packed values from an index, from tables that stay in
    // the cache.
    RunLookup innerFast, outerFast;
    std::uint64_t span() const { return static_cast<std::uint64_t>(inner.max() - inner.min()); }
};
Sweeps makeSweeps(const JoinBox& box, int m, int threads);

/// The windows go in parts, which the threads take one at a time, each its next when it has finished
/// one: where the matches crowd into part of the key range, neither thread waits long for the other.
constexpr std::size_t kParts = 8;

/// The windows [first, end) of part p out of `parts`.
std::pair<std::uint64_t, std::uint64_t> windowPart(std::uint64_t span, std::size_t p, std::size_t parts = kParts);

/// What a sweep found for each outer row, per part of the windows.
struct RowTotals {
    std::array<std::vector<std::uint64_t>, kParts> matches;    // outer combinations with a match
    std::array<std::vector<std::uint64_t>, kParts> solutions;  // their matches, counted with the inner groups' sizes
    // The words their groups take in a listing's store: a group of one member takes none (its record
    // holds the member), a group of `longGroup` members or more one more, for its length.
    std::array<std::vector<std::uint64_t>, kParts> words;
    std::size_t widestWindow = 0;             // the most inner keys in one window
    std::uint64_t longGroup = ~std::uint64_t{0}; // set before the sweep, at least 2
    std::size_t rows() const { return matches[0].size(); }
    std::uint64_t rowMatches(std::size_t b) const {
        std::uint64_t n = 0;
        for (const auto& part : matches)
            n += part[b];
        return n;
    }
};

/// The number of equal pairs of keys in [0, span], on `threads` threads; per outer row when `rows`.
/// `progress` hears of the windows done, as the share [shareFrom, shareTo) of its box. `pauses` is
/// told between the parts the calling thread takes that the sweep is working (PackedSink::idle); what
/// it throws stops both threads and reaches the caller.
SolutionCount sweepCount(const SweepSide& inner, const SweepSide& outer, std::uint64_t span, int threads,
                         RowTotals* rows = nullptr, ProgressReporter* progress = nullptr, double shareFrom = 0,
                         double shareTo = 1, PackedSink* pauses = nullptr);

/// Lists the matches of a box from the outer combination `from` on. The solutions go in chunks of
/// rows, each within the join's memory (what the listing holds besides, the sides included, counts
/// against it) and at most `limits.chunkBytes` when that is set, as many as sweepChunks weighs. False,
/// before anything was handed on, when one row's solutions need more.
bool sweepList(const Sweeps& sweeps, int threads, const JoinLimits& limits, RowStart from, PackedSink& out);

/// Sorts n words, zero above bit shift + bits, by their bits from `shift` up: least significant
/// digit first, 11 bits a pass, through `scratch` (grown to n when smaller). Words equal in those
/// bits must already be in the order of their low bits, which they keep.
void sortByBits(std::uint64_t* first, std::size_t n, unsigned shift, unsigned bits, std::vector<std::uint64_t>& scratch);

/// The pointers of a side's rows into its sorted values.
class RowCursors {
public:
    /// Rows [rowFirst, rowEnd) of the side, from their first key at or above `firstKey`.
    RowCursors(const SweepSide& side, std::int64_t firstKey, std::size_t rowFirst, std::size_t rowEnd);
    /// The same for rows [rowFirst, rowEnd), no more rows than the cursors were made with: no allocation.
    void reset(std::int64_t firstKey, std::size_t rowFirst, std::size_t rowEnd);
    /// Calls visit(row, position, key) for the keys below `end` not yet visited, row by row, and
    /// rowDone(row) after each row's.
    template <class Visit, class RowDone>
    void advance(std::int64_t end, Visit&& visit, RowDone&& rowDone) {
        const std::int64_t* v = m_side.values.data();
        const std::size_t n = m_side.values.size();
        for (std::size_t r = 0; r < m_at.size(); ++r) {
            const std::size_t b = m_rowFirst + r;
            const std::int64_t base = m_side.base[b], limit = end - base;
            std::size_t i = m_from[r] = m_at[r];
            for (; i < n && v[i] < limit; ++i)
                visit(b, i, base + v[i]);
            m_at[r] = i;
            rowDone(b);
        }
    }
    template <class Visit>
    void advance(std::int64_t end, Visit&& visit) {
        advance(end, visit, [](std::size_t) {});
    }
    /// Calls visit(row, position, key) again for the keys the last advance visited.
    template <class Visit>
    void again(Visit&& visit) const {
        for (std::size_t r = 0; r < m_at.size(); ++r)
            for (std::size_t i = m_from[r]; i < m_at[r]; ++i)
                visit(m_rowFirst + r, i, m_side.base[m_rowFirst + r] + m_side.values[i]);
    }

private:
    const SweepSide& m_side;
    std::size_t m_rowFirst = 0;
    std::vector<std::size_t> m_at;
    std::vector<std::size_t> m_from;
};

constexpr unsigned kWindowBits = 16;
constexpr std::uint64_t kWindow = std::uint64_t{1} << kWindowBits;

} // namespace velmora::fast::join
