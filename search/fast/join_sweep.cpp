#include "search/fast/join_sweep.h"

#include "search/fast/join_threads.h"

#include <algorithm>
#include <bit>
#include <array>
#include <atomic>
#include <cmath>
#include <numeric>
#include <utility>

namespace velmora::fast::join {

int sweepSplit(const JoinBox& box, int from, int to) {
    int s = from + 1; // the last term stays in the slow run: a listing's chunks are made of its rows
    while (s + 1 < to && combinations(box, from, s + 1) <= double(1 << 21))
        ++s;
    return std::min(s, to);
}

Side makeSweepSide(const JoinBox& box, int from, int to) {
    const int s = sweepSplit(box, from, to);
    return {makeTermRun(box, from, s, false), makeTermRun(box, s, to)}; // the fast run's values: RunLookup
}

void sortByBits(std::uint64_t* first, std::size_t n, unsigned shift, unsigned bits, std::vector<std::uint64_t>& scratch) {
    if (n < 256) {
        std::sort(first, first + n); // ties are in the order of their low bits: the same order
        return;
    }
    scratch.resize(std::max(scratch.size(), n));
    std::uint64_t* from = first;
    std::uint64_t* to = scratch.data();
    std::array<std::size_t, 2048> at;
    for (unsigned digit = shift; digit < shift + bits; digit += 11) {
        at.fill(0);
        for (std::size_t i = 0; i < n; ++i)
            ++at[from[i] >> digit & 2047];
        std::size_t sum = 0;
        for (std::size_t& a : at)
            sum += std::exchange(a, sum);
        for (std::size_t i = 0; i < n; ++i)
            to[at[from[i] >> digit & 2047]++] = from[i];
        std::swap(from, to);
    }
    if (from != first)
        std::copy(from, from + n, first);
}

namespace {

SweepSide sweepSide(const Side& side, int sign, std::int64_t offset) {
    SweepSide s;
    const std::size_t n = side.fast.sums.size();
    // Sorted as value above index in one 64-bit word: equal values stay in the order of the index.
    // The values of a run span less than 2^35 (a box lies before the overflow stop) and there are at
    // most 2^21 of them.
    const std::int64_t least = sign > 0 ? side.fast.min : -side.fast.max;
    const unsigned bits = std::max(side.fast.bits, 1u);
    std::vector<std::uint64_t> order(n);
    for (std::size_t a = 0; a < n; ++a)
        order[a] = static_cast<std::uint64_t>(sign * side.fast.sums[a] - least) << bits | a;
    std::vector<std::uint64_t> scratch;
    const auto span = static_cast<std::uint64_t>(side.fast.max - side.fast.min);
    sortByBits(order.data(), n, bits, static_cast<unsigned>(std::bit_width(span)), scratch);
    s.fastIndex.resize(n);
    s.values.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.fastIndex[i] = static_cast<std::uint32_t>(order[i] & ((std::uint64_t{1} << bits) - 1));
        s.values[i] = static_cast<std::int64_t>(order[i] >> bits) + least;
    }
    s.base.reserve(side.slow.sums.size());
    for (const std::int64_t v : side.slow.sums)
        s.base.push_back(offset + sign * v);
    return s;
}

// What the threads of a sweep over parts share: whether to stop, and how far the sweep has got, for
// the calling thread to report: the parts finished, and its own part's windows done counted once for
// each thread, since the other is as far into its own.
struct SweepShare {
    ProgressReporter* reporter;
    double shareFrom, shareTo;
    std::uint64_t windows;              // all the parts'
    int threads;
    std::atomic<std::uint64_t> done{0}; // the windows of the parts finished
    std::atomic<bool> stop{false};      // the calling thread has failed: the other ends at its next window
    double shown = 0;                   // never shown to go back

    void report(std::uint64_t windowsIntoPart) {
        const double estimate = double(done + windowsIntoPart * static_cast<std::uint64_t>(threads)) / double(windows);
        shown = std::max(shown, std::min(estimate, 1.0));
        reporter->within(shareFrom + (shareTo - shareFrom) * shown);
    }
};

// The windows [first, end) of part p: counts[key - window start] for the inner keys, read by the
// outer keys. The calling thread (`reports`) reports for both.
unsigned __int128 sweepWindows(const SweepSide& inner, const SweepSide& outer, std::uint64_t first, std::uint64_t end,
                               std::uint64_t span, RowTotals* rows, std::size_t p, std::size_t& widest,
                               SweepShare& shared, bool reports) {
    if (first >= end)
        return 0;
    std::vector<std::uint32_t> counts(kWindow, 0);
    const auto firstKey = static_cast<std::int64_t>(first * kWindow);
    RowCursors in(inner, firstKey, 0, inner.base.size());
    RowCursors out(outer, firstKey, 0, outer.base.size());
    unsigned __int128 total = 0;
    std::uint32_t* const c = counts.data();
    for (std::uint64_t w = first; w < end; ++w) {
        if (shared.stop.load(std::memory_order_relaxed))
            break;
        if (reports)
            shared.report(w - first);
        const auto lo = static_cast<std::int64_t>(w * kWindow);
        const std::int64_t hi = std::min(lo + static_cast<std::int64_t>(kWindow), static_cast<std::int64_t>(span) + 1);
        std::size_t innerKeys = 0;
        in.advance(hi, [&](std::size_t, std::size_t, std::int64_t key) {
            ++c[key - lo];
            ++innerKeys;
        });
        if (innerKeys == 0) {
            out.advance(hi, [](std::size_t, std::size_t, std::int64_t) {});
            continue;
        }
        // A row adds at most 2^42 counts below 2^28 each: moved to the 128-bit total before it could wrap.
        std::uint64_t found = 0;
        if (rows) {
            widest = std::max(widest, innerKeys);
            std::uint64_t* matches = rows->matches[p].data();
            std::uint64_t* solutions = rows->solutions[p].data();
            std::uint64_t* words = rows->words[p].data();
            const std::uint64_t longGroup = rows->longGroup;
            std::uint64_t rowMatches = 0, rowSolutions = 0, rowWords = 0; // the row's, in registers
            out.advance(
                hi,
                [&](std::size_t, std::size_t, std::int64_t key) {
                    const std::uint32_t n = c[key - lo];
                    rowMatches += n != 0;
                    rowSolutions += n;
                    rowWords += (n > 1 ? n : 0) + (n >= longGroup);
                },
                [&](std::size_t b) {
                    matches[b] += rowMatches;
                    solutions[b] += rowSolutions;
                    words[b] += rowWords;
                    rowMatches = rowSolutions = rowWords = 0;
                });
        } else {
            out.advance(hi, [&](std::size_t, std::size_t, std::int64_t key) {
                found += c[key - lo];
                if (found >> 62) {
                    total += found;
                    found = 0;
                }
            });
        }
        total += found;
        in.again([&](std::size_t, std::size_t, std::int64_t key) { c[key - lo] = 0; });
    }
    return total;
}

} // namespace


Sweeps makeSweeps(const JoinBox& box, int m, int threads) {
    Sweeps s;
    const auto side = [&](int t) {
        if (t == 0) {
            s.inner = makeSweepSide(box, 0, m);
            s.innerKeys = sweepSide(s.inner, 1, -s.inner.min());
            std::vector<std::int64_t>().swap(s.inner.fast.sums); // sorted into the keys: no longer read
            s.innerFast = RunLookup(box, 0, sweepSplit(box, 0, m));
        } else {
            s.outer = makeSweepSide(box, m, 8);
            s.outerKeys = sweepSide(s.outer, -1, 0); // its offset needs the inner side: added below
            std::vector<std::int64_t>().swap(s.outer.fast.sums);
            s.outerFast = RunLookup(box, m, sweepSplit(box, m, 8));
        }
    };
    if (threads > 1) {
        onThreads(2, side);
    } else {
        side(0);
        side(1);
    }
    for (std::int64_t& base : s.outerKeys.base)
        base += box.target - s.inner.min();
    return s;
}

RowCursors::RowCursors(const SweepSide& side, std::int64_t firstKey, std::size_t rowFirst, std::size_t rowEnd)
    : m_side(side), m_at(rowEnd - rowFirst), m_from(rowEnd - rowFirst) {
    reset(firstKey, rowFirst, rowEnd);
}

void RowCursors::reset(std::int64_t firstKey, std::size_t rowFirst, std::size_t rowEnd) {
    const SweepSide& side = m_side;
    m_rowFirst = rowFirst;
    m_at.resize(rowEnd - rowFirst); // within the capacity the cursors were made with
    m_from.resize(rowEnd - rowFirst);
    for (std::size_t r = 0; r < m_at.size(); ++r)
        m_at[r] = static_cast<std::size_t>(
            std::lower_bound(side.values.begin(), side.values.end(), firstKey - side.base[rowFirst + r]) -
            side.values.begin());
}

std::pair<std::uint64_t, std::uint64_t> windowPart(std::uint64_t span, std::size_t p, std::size_t parts) {
    const std::uint64_t windows = (span >> kWindowBits) + 1;
    return {windows * p / parts, windows * (p + 1) / parts};
}

SolutionCount sweepCount(const SweepSide& inner, const SweepSide& outer, std::uint64_t span, int threads,
                         RowTotals* rows, ProgressReporter* progress, double shareFrom, double shareTo,
                         PackedSink* pauses) {
    std::array<unsigned __int128, 2> totals{};
    std::array<std::size_t, 2> widest{};
    if (rows)
        for (std::size_t p = 0; p < kParts; ++p) {
            rows->matches[p].assign(outer.base.size(), 0);
            rows->solutions[p].assign(outer.base.size(), 0);
            rows->words[p].assign(outer.base.size(), 0);
        }
    // A count alone takes the windows in halves, one a thread, whose work is alike (eight parts measured
    // a few percent slower). A listing's totals per row are kept per part of its copying sweep.
    const std::size_t parts = rows ? kParts : static_cast<std::size_t>(std::max(threads, 1));
    SweepShare shared{progress, shareFrom, shareTo, (span >> kWindowBits) + 1, std::max(threads, 1)};
    onParts(threads, parts, [&](int t, std::size_t p) {
        const auto T = static_cast<std::size_t>(t);
        const auto [first, end] = windowPart(span, p, parts);
        totals[T] += sweepWindows(inner, outer, first, end, span, rows, p, widest[T], shared, progress && t == 0);
        shared.done += end - first;
        if (pauses && t == 0 && !shared.stop) {
            try {
                pauses->idle();
            } catch (...) {
                shared.stop = true;
                throw; // rethrown by onThreads once the other thread has stopped too
            }
        }
    });
    if (rows)
        rows->widestWindow = std::max(widest[0], widest[1]);
    if (!rows)
        return SolutionCount(totals[0]) + SolutionCount(totals[1]);
    SolutionCount count;
    for (const auto& part : rows->solutions)
        for (const std::uint64_t n : part)
            count += SolutionCount(n);
    return count;
}

} // namespace velmora::fast::join
