#include "search/fast/join_sweep.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velmora::fast::join {
namespace {

// A window of 2^18 keys: its counts (1 MB) stay in the second-level cache.
constexpr unsigned kWindowBits = 18;
constexpr std::uint64_t kWindow = std::uint64_t{1} << kWindowBits;

SweepSide sweepSide(const Side& side, int sign, std::int64_t offset) {
    SweepSide s;
    s.values.reserve(side.fast.sums.size());
    for (const std::int64_t v : side.fast.sums)
        s.values.push_back(sign * v);
    std::sort(s.values.begin(), s.values.end());
    s.base.reserve(side.slow.sums.size());
    for (const std::int64_t v : side.slow.sums)
        s.base.push_back(offset + sign * v);
    return s;
}

// The windows [first, end) of keys: counts[key - window start] for the inner keys, read by the outer.
unsigned __int128 sweepWindows(const SweepSide& inner, const SweepSide& outer, std::uint64_t first, std::uint64_t end,
                               std::uint64_t span) {
    if (first >= end)
        return 0;
    std::vector<std::uint32_t> counts(kWindow, 0);
    const auto startAt = [&](const SweepSide& s, std::vector<std::size_t>& at) {
        const auto key = static_cast<std::int64_t>(first * kWindow);
        at.resize(s.base.size());
        for (std::size_t b = 0; b < s.base.size(); ++b)
            at[b] = static_cast<std::size_t>(std::lower_bound(s.values.begin(), s.values.end(), key - s.base[b]) -
                                             s.values.begin());
    };
    std::vector<std::size_t> in, out, from(inner.base.size());
    startAt(inner, in);
    startAt(outer, out);
    const std::int64_t* iv = inner.values.data();
    const std::int64_t* ov = outer.values.data();
    const std::size_t ni = inner.values.size(), no = outer.values.size();
    unsigned __int128 total = 0;
    for (std::uint64_t w = first; w < end; ++w) {
        const auto lo = static_cast<std::int64_t>(w * kWindow);
        const std::int64_t hi = std::min(lo + static_cast<std::int64_t>(kWindow), static_cast<std::int64_t>(span) + 1);
        std::uint32_t* const c = counts.data();
        for (std::size_t b = 0; b < inner.base.size(); ++b) {
            const std::int64_t base = inner.base[b] - lo, limit = hi - inner.base[b];
            std::size_t i = from[b] = in[b];
            for (; i < ni && iv[i] < limit; ++i)
                ++c[base + iv[i]];
            in[b] = i;
        }
        // A row adds at most 2^28 counts below 2^28 each: moved to the 128-bit total before it could wrap.
        std::uint64_t found = 0;
        for (std::size_t b = 0; b < outer.base.size(); ++b) {
            const std::int64_t base = outer.base[b] - lo, limit = hi - outer.base[b];
            std::size_t i = out[b];
            for (; i < no && ov[i] < limit; ++i)
                found += c[base + ov[i]];
            out[b] = i;
            if (found >> 62) {
                total += found;
                found = 0;
            }
        }
        total += found;
        for (std::size_t b = 0; b < inner.base.size(); ++b)
            for (std::size_t i = from[b]; i < in[b]; ++i)
                c[inner.base[b] - lo + iv[i]] = 0;
    }
    return total;
}

} // namespace

SweepSide innerSweep(const Side& inner) { return sweepSide(inner, 1, -inner.min()); }

SweepSide outerSweep(const Side& outer, std::int64_t target, std::int64_t innerMin) {
    return sweepSide(outer, -1, target - innerMin);
}

SolutionCount sweepCount(const SweepSide& inner, const SweepSide& outer, std::uint64_t span, int threads) {
    const std::uint64_t windows = (span >> kWindowBits) + 1;
    threads = windows > 1 ? threads : 1;
    std::array<unsigned __int128, 2> totals{};
    // Each thread sweeps its own half of the windows, with its own counts.
    onThreads(threads, [&](int t) {
        const std::uint64_t first = t == 0 ? 0 : windows / 2, end = t == 0 && threads > 1 ? windows / 2 : windows;
        totals[static_cast<std::size_t>(t)] = sweepWindows(inner, outer, first, end, span);
    });
    return SolutionCount(totals[0]) + SolutionCount(totals[1]);
}

double sweepCost(double innerCombinations, double outerCombinations, double rows, double span) {
    const double windows = std::floor(span / double(kWindow)) + 1;
    return 4 * (innerCombinations + outerCombinations) + 1.5 * windows * rows + 1e5;
}

} // namespace velmora::fast::join
