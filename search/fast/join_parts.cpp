#include "search/fast/join_parts.h"

#include "platform/physical_memory.h"
#include "search/fast/join_threads.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <new>

namespace velmora::fast {

std::size_t defaultJoinMemory() {
    constexpr std::size_t kCap = std::size_t{1} << 30;
    const double physical = double(physicalMemoryBytes().value_or(0));
    if (physical <= 0)
        return kCap / 4; // unknown: stay modest
    return static_cast<std::size_t>(std::min(double(kCap), physical / 4));
}

} // namespace velmora::fast

namespace velmora::fast::join {

TermRun makeTermRun(const JoinBox& box, int from, int to, bool withPacked) {
    TermRun run;
    run.sums.assign(1, 0);
    if (withPacked)
        run.packed.assign(1, PackedValues{});
    for (int k = from; k < to; ++k) {
        const auto K = static_cast<std::size_t>(k);
        const std::int64_t w = box.weights[K];
        std::vector<std::int64_t> sums;
        std::vector<PackedValues> packed;
        const std::size_t n = static_cast<std::size_t>(std::int64_t{box.hi[K]} - box.lo[K] + 1);
        sums.reserve(run.sums.size() * n);
        packed.reserve(run.packed.size() * n);
        // The new term is the slowest so far: its value changes once per pass over the earlier terms.
        for (std::int32_t v = box.lo[K]; v <= box.hi[K]; ++v) {
            const std::uint64_t lane = std::uint64_t{static_cast<std::uint16_t>(v)} << (16 * (k & 3));
            for (std::size_t i = 0; i < run.sums.size(); ++i)
                sums.push_back(run.sums[i] + w * v);
            for (std::size_t i = 0; i < run.packed.size(); ++i) {
                PackedValues p = run.packed[i];
                (k < 4 ? p.low : p.high) |= lane;
                packed.push_back(p);
            }
        }
        run.sums = std::move(sums);
        run.packed = std::move(packed);
    }
    const auto [lo, hi] = std::minmax_element(run.sums.begin(), run.sums.end());
    run.min = *lo;
    run.max = *hi;
    run.bits = static_cast<unsigned>(std::bit_width(run.sums.size() - 1));
    return run;
}

double combinations(const JoinBox& box, int from, int to) {
    double n = 1;
    for (int k = from; k < to; ++k)
        n *= double(box.hi[static_cast<std::size_t>(k)]) - box.lo[static_cast<std::size_t>(k)] + 1;
    return n;
}

int splitPoint(const JoinBox& box, int from, int to) {
    int best = from;
    for (int s = from + 1; s <= to; ++s)
        if (std::max(combinations(box, from, s), combinations(box, s, to)) <
            std::max(combinations(box, from, best), combinations(box, best, to)))
            best = s;
    return best;
}

Side makeSide(const JoinBox& box, int from, int to) {
    const int s = splitPoint(box, from, to);
    return {makeTermRun(box, from, s), makeTermRun(box, s, to)};
}

RowStart startOf(const JoinBox& box, int m, int split, const std::array<std::int32_t, 8>* start) {
    if (!start)
        return {};
    // Indices of a run have its first term fastest.
    const auto indexOf = [&](int from, int to) {
        std::size_t index = 0;
        for (int k = to; k-- > from;) {
            const auto K = static_cast<std::size_t>(k);
            index = index * static_cast<std::size_t>(std::int64_t{box.hi[K]} - box.lo[K] + 1) +
                    static_cast<std::size_t>(std::int64_t{(*start)[K]} - box.lo[K]);
        }
        return index;
    };
    return {indexOf(split, 8), indexOf(m, split)};
}

namespace {

// Calls visit(key, index) for the kept combinations of rows [first, end), in index order.
template <class Visit>
void forEachKey(const KeyRows& rows, std::size_t first, std::size_t end, Visit&& visit) {
    const TermRun& fast = rows.side->fast;
    const TermRun& slow = rows.side->slow;
    const std::size_t n = fast.sums.size();
    const std::int64_t* sums = fast.sums.data();
    const std::uint64_t span = rows.span;
    for (std::size_t b = first; b < end; ++b) {
        const std::int64_t base = rows.offset + rows.sign * slow.sums[b];
        const auto index = static_cast<std::uint32_t>((b - rows.rowFirst) << rows.side->fast.bits);
        if (rows.sign > 0) {
            for (std::size_t a = 0; a < n; ++a) {
                const auto key = static_cast<std::uint64_t>(base + sums[a]);
                if (key <= span)
                    visit(static_cast<std::uint32_t>(key), index + static_cast<std::uint32_t>(a));
            }
        } else {
            for (std::size_t a = 0; a < n; ++a) {
                const auto key = static_cast<std::uint64_t>(base - sums[a]);
                if (key <= span)
                    visit(static_cast<std::uint32_t>(key), index + static_cast<std::uint32_t>(a));
            }
        }
    }
}

} // namespace

void scatter(const KeyRows& rows, const Partitioning& parts, std::uint32_t* out, std::vector<std::size_t>& starts,
             int threads, ScatterCursors* cursors) {
    const std::size_t P = parts.count();
    const std::size_t rowCount = rows.rowEnd - rows.rowFirst;
    threads = rowCount >= 2 ? threads : 1;
    std::array<std::size_t, 3> rowSplit = {rows.rowFirst, rows.rowFirst + rowCount / 2, rows.rowEnd};
    if (threads == 1)
        rowSplit[1] = rows.rowEnd;
    ScatterCursors own;
    ScatterCursors& cursor = cursors ? *cursors : own;
    // Generating the keys twice, once to count and once to place, costs less than a second buffer.
    onThreads(threads, [&](int t) {
        std::vector<std::size_t>& c = cursor[static_cast<std::size_t>(t)];
        c.assign(P, 0);
        forEachKey(rows, rowSplit[static_cast<std::size_t>(t)], rowSplit[static_cast<std::size_t>(t) + 1],
                   [&](std::uint32_t key, std::uint32_t) { ++c[parts.of(key)]; });
    });
    if (threads == 1)
        cursor[1].assign(P, 0);
    starts.assign(P + 1, 0);
    std::size_t at = 0;
    for (std::size_t p = 0; p < P; ++p) {
        starts[p] = at;
        const std::size_t first = cursor[0][p], second = cursor[1][p];
        cursor[0][p] = at;
        cursor[1][p] = at + first;
        at += first + second;
    }
    starts[P] = at;
    onThreads(threads, [&](int t) {
        std::size_t* c = cursor[static_cast<std::size_t>(t)].data();
        forEachKey(rows, rowSplit[static_cast<std::size_t>(t)], rowSplit[static_cast<std::size_t>(t) + 1],
                   [&](std::uint32_t key, std::uint32_t index) { out[c[parts.of(key)]++] = index; });
    });
}

} // namespace velmora::fast::join
