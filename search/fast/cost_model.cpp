#include "search/fast/cost_model.h"

#include "search/fast/join.h"
#include "search/fast/join_parts.h"
#include "search/fast/join_sweep.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace velmora::fast {
namespace {

// Estimated costs in nanoseconds, measured on this kind of code.
constexpr double kRecursionStepNs = 8;        // a call of the recursion: two divisions
constexpr double kEntryInCacheNs = 3;          // a table entry built, table within the cache
constexpr double kEntryBeyondCacheNs = 15;     // ... beyond it (hashed and sorted in two passes)
constexpr double kLookupInCacheNs = 5;         // a table look-up, table within the cache
constexpr double kLookupBeyondCacheNs = 30;    // ... beyond it
constexpr double kDenseKeyPerTermNs = 2;       // a counting table's key, for each term it holds
constexpr double kCacheBytes = 2e6;            // the processor's second-level cache
constexpr double kBytesPerEntry = 16;          // listing table: packed values and offsets, per entry
constexpr double kBytesPerKey = 16;            // counting table: a 128-bit count per key

// Calls of the recursion with terms k+1..8 set: their combinations whose remainder the terms
// below can reach, the outer sum taken as normally distributed.
// spanAll is the span of the sums of all eight terms.
double recursionNodesAt(const Box& box, const std::array<Level, kTerms>& levels, bool counting, std::int32_t target,
                        double spanAll, int k) {
    double outer = 1, mean = 0, variance = 0;
    for (int j = k; j < kTerms; ++j) {
        const double w = double(levels[static_cast<std::size_t>(j)].weight);
        const double n = rangeSize(box, j);
        if (!(counting && w == 0))
            outer *= n;
        mean += w * (double(box.lo[static_cast<std::size_t>(j)]) + box.hi[static_cast<std::size_t>(j)]) / 2;
        variance += w * w * (n * n - 1) / 12;
    }
    const Level& L = levels[static_cast<std::size_t>(k == kTerms ? kTerms - 1 : k)];
    const double innerMin = k == kTerms ? 0 : double(L.innerMin);
    const double innerMax = k == kTerms ? 0 : double(L.innerMax);
    const double lo = double(target) - (k == kTerms ? spanAll : innerMax) - 0.5;
    const double hi = double(target) - (k == kTerms ? 0 : innerMin) + 0.5;
    if (k == kTerms)
        return 1.0;
    if (variance == 0)
        return (mean >= lo && mean <= hi) ? outer : 0.0;
    const double sd = std::sqrt(2 * variance);
    return outer * std::max(0.0, (std::erf((hi - mean) / sd) - std::erf((lo - mean) / sd)) / 2);
}

std::array<double, kTerms + 1> recursionNodes(const Box& box, const std::array<Level, kTerms>& levels, bool counting,
                                              std::int32_t target, double spanAll) {
    std::array<double, kTerms + 1> nodes{};
    for (int k = 1; k <= kTerms; ++k)
        nodes[static_cast<std::size_t>(k)] = recursionNodesAt(box, levels, counting, target, spanAll, k);
    return nodes;
}

} // namespace

InnerPlan planInner(const Box& box, const std::array<Level, kTerms>& levels, const FastSearchOptions& options,
                    bool counting, std::int32_t target) {
    std::array<double, kTerms + 1> spanBelow{}, combosBelow{}, gcdBelow{};
    combosBelow[0] = 1;
    std::int64_t g = 0;
    for (int k = 0; k < kTerms; ++k) {
        const Level& L = levels[static_cast<std::size_t>(k)];
        spanBelow[static_cast<std::size_t>(k) + 1] = spanBelow[static_cast<std::size_t>(k)] +
                                                     double(productMax(L.weight, box, k) - productMin(L.weight, box, k));
        combosBelow[static_cast<std::size_t>(k) + 1] = combosBelow[static_cast<std::size_t>(k)] * rangeSize(box, k);
        g = std::gcd(g, L.weight);
        gcdBelow[static_cast<std::size_t>(k) + 1] = double(g == 0 ? 1 : g);
    }
    const std::array<double, kTerms + 1> nodes = recursionNodes(box, levels, counting, target, spanBelow[kTerms]);
    const auto steps = [&](int from) {
        double total = 0;
        for (int k = from; k <= kTerms; ++k)
            total += nodes[static_cast<std::size_t>(k)];
        return kRecursionStepNs * total;
    };
    const auto lookups = [&](int m, double bytes) {
        return (bytes < kCacheBytes ? kLookupInCacheNs : kLookupBeyondCacheNs) * nodes[static_cast<std::size_t>(m)];
    };
    const auto denseKeys = [&](int m) {
        return spanBelow[static_cast<std::size_t>(m)] / gcdBelow[static_cast<std::size_t>(m)] + 1;
    };

    InnerPlan plan;
    if (options.method == InnerMethod::Recursion || (options.method == InnerMethod::DenseTable && !counting))
        return plan;
    if (options.method == InnerMethod::SparseTable) {
        const int m = std::clamp(options.tableTerms, 1, 4);
        if (combosBelow[static_cast<std::size_t>(m)] <= options.maxSparseEntries)
            return {InnerMethod::SparseTable, m};
    }
    if (options.method == InnerMethod::DenseTable) {
        const int m = std::clamp(options.tableTerms, 1, kTerms);
        if (denseKeys(m) <= options.maxDenseKeys)
            return {InnerMethod::DenseTable, m};
    }
    double best = steps(2);
    for (int m = 2; m <= 4; ++m) {
        const double entries = combosBelow[static_cast<std::size_t>(m)];
        if (entries > options.maxSparseEntries)
            continue;
        const double bytes = kBytesPerEntry * entries;
        const double cost =
            (bytes < kCacheBytes ? kEntryInCacheNs : kEntryBeyondCacheNs) * entries + steps(m + 1) + lookups(m, bytes);
        if (cost < best) {
            best = cost;
            plan = {InnerMethod::SparseTable, m};
        }
    }
    plan.estimateNs = best;
    if (!counting)
        return plan;
    for (int m = 1; m <= kTerms; ++m) {
        const double keys = denseKeys(m);
        if (keys > options.maxDenseKeys)
            continue;
        const double cost = kDenseKeyPerTermNs * m * keys + steps(m + 1) + lookups(m, kBytesPerKey * keys);
        if (cost < best) {
            best = cost;
            plan = {InnerMethod::DenseTable, m};
        }
    }
    plan.estimateNs = best;
    return plan;
}

// The join of a box: its split and its way.

namespace {

// The join's costs in nanoseconds, measured on this code: an inner combination (scattered, then
// grouped in two passes over its partition), an outer combination (scattered and looked up), and an
// inner combination put into a partition's table again for each further chunk of outer rows.
constexpr double kInnerNs = 9;
constexpr double kOuterNs = 6;
constexpr double kRebuildNs = 3;
// Bytes an inner combination holds (counting: its index; listing: its index and its group's start),
// and an outer combination of a chunk (its index and, for listing, its mark).
constexpr double kInnerCountBytes = 4;
constexpr double kInnerListBytes = 8;
constexpr double kOuterCountBytes = 4;
constexpr double kOuterListBytes = 8;
// A solution listed by the sweep: copied into the store, its record sorted, read back.
constexpr double kCopyNs = 8;
// Fresh memory costs its first touch: about 0.6 ns per byte measured here (1 GB in 0.6 s of system
// time), more while the machine is loaded.
constexpr double kTouchNs = 0.6;
// Two threads take a join about this much faster than one.
constexpr double kTwoThreadSpeedup = 1.6;
// A sweep's count: each combination sorted and swept, each row of the outer side read again for
// each window of inner keys, and the sweep's start.
constexpr double kSweepCombinationNs = 4;
constexpr double kSweepWindowRowNs = 1.5;
constexpr double kSweepStartNs = 1e5;
// A sweep's listing touches its chunks' buffers, populated and then written for the first time:
// 512 MB populated in 0.1-1.2 s, then first written in 0.6-0.8 s, measured here (RW128 listed in one
// chunk of 950 MB took 5.6-6.8 s, in two of about 480 MB 3.6-5.6 s).
constexpr double kChunkTouchNs = 2.5;

double bitsFor(double n) { return std::bit_width(static_cast<std::uint64_t>(n) - 1); }

// The solutions a box is expected to have, its sum taken as normally distributed: the listing by a
// sweep copies and sorts each one, which the other ways do not.
double expectedSolutions(const JoinBox& box) {
    double n = 1, mean = 0, variance = 0;
    std::int64_t g = 0;
    for (int k = 0; k < kTerms; ++k) {
        const auto K = static_cast<std::size_t>(k);
        const double w = double(box.weights[K]), size = rangeSize(box, k);
        n *= size;
        mean += w * (double(box.lo[K]) + box.hi[K]) / 2;
        variance += w * w * (size * size - 1) / 12;
        g = std::gcd(g, box.weights[K]);
    }
    if (variance == 0)
        return std::abs(mean - double(box.target)) < 0.5 ? n : 0;
    const double z = (double(box.target) - mean) / std::sqrt(variance);
    return n * double(g) * std::exp(-z * z / 2) / std::sqrt(2 * 3.141592653589793 * variance);
}

// Estimated nanoseconds of a sweep's count; listing sweeps about twice.
double sweepCost(double innerCombinations, double outerCombinations, double rows, double span) {
    const double windows = std::floor(span / double(join::kWindow)) + 1;
    return kSweepCombinationNs * (innerCombinations + outerCombinations) + kSweepWindowRowNs * windows * rows +
           kSweepStartNs;
}

} // namespace

double join::sweepChunks(double bytes, double budget, double innerCombinations, double innerRows, double span,
                         int threads) {
    // A further chunk sweeps the inner side again, as a count does.
    const double again = sweepCost(innerCombinations, 0, innerRows, span) / (threads > 1 ? kTwoThreadSpeedup : 1.0);
    const auto cost = [&](double chunks) { return chunks * again + kChunkTouchNs * bytes / chunks; };
    double chunks = std::max(1.0, std::ceil(bytes / budget));
    while (cost(chunks + 1) < cost(chunks)) // the cost is convex in the chunks
        ++chunks;
    return chunks;
}

JoinPlan planJoin(const JoinBox& box, bool counting, const JoinLimits& limits) {
    const double memory = double(limits.memoryBytes ? limits.memoryBytes : defaultJoinMemory());
    const double speedup = limits.threads > 1 ? kTwoThreadSpeedup : 1.0;
    const double copied = counting ? 0 : kCopyNs * expectedSolutions(box);
    JoinPlan best;
    for (int m = 1; m < kTerms; ++m) {
        const double inner = join::combinations(box, 0, m);
        const double outer = join::combinations(box, m, kTerms);
        double span = 0;
        for (int k = 0; k < m; ++k) {
            const double w = double(box.weights[static_cast<std::size_t>(k)]);
            span += (w < 0 ? -w : w) * (rangeSize(box, k) - 1);
        }
        // Indices hold the two runs' bit fields in 32 bits, and inner keys fit 32 bits.
        const int innerSplit = join::splitPoint(box, 0, m), outerSplit = join::splitPoint(box, m, kTerms);
        const double innerBits = bitsFor(join::combinations(box, 0, innerSplit)) + bitsFor(join::combinations(box, innerSplit, m));
        const double outerFast = join::combinations(box, m, outerSplit);
        const double outerRows = join::combinations(box, outerSplit, kTerms);
        // A window counts an inner key's combinations in 32 bits: below 2^32 of them share a key
        // unless every inner weight is 0.
        if (inner > 4294967296.0 || (span == 0 && inner >= 4294967296.0) || outer > double(1 << 30) * double(1 << 30) || span >= 4294967296.0)
            continue;
        const int innerSweep = join::sweepSplit(box, 0, m);
        const double sweepBits = bitsFor(join::combinations(box, 0, innerSweep)) + bitsFor(join::combinations(box, innerSweep, m));
        if (limits.way != JoinWay::Partitioned && (counting || sweepBits <= 32)) {
            const double rowsBoth = join::combinations(box, innerSweep, m) +
                                    join::combinations(box, join::sweepSplit(box, m, kTerms), kTerms);
            // Listing sweeps twice, the second time in chunks that are rarely more than one.
            const double cost = sweepCost(inner, outer, rowsBoth, span) * (counting ? 1 : 2) / speedup + copied;
            if (cost < best.cost)
                best = {m, true, cost, 0};
        }
        if (inner > double(1 << 28) || innerBits > 32 || outer > 1e12 || limits.way == JoinWay::Sweep)
            continue;
        const double left = memory - (counting ? kInnerCountBytes : kInnerListBytes) * inner;
        const double perRow = (counting ? kOuterCountBytes : kOuterListBytes) * outerFast;
        const double rows = std::min({outerRows, std::floor(left / perRow), std::floor(4294967295.0 / std::exp2(bitsFor(outerFast)))});
        if (rows < 1)
            continue;
        const double chunks = std::ceil(outerRows / rows);
        const double touched = (counting ? kInnerCountBytes : kInnerListBytes) * inner + perRow * std::min(rows, outerRows);
        const double cost =
            (kInnerNs * inner + kOuterNs * outer + kRebuildNs * inner * (chunks - 1)) / speedup + kTouchNs * touched;
        if (cost < best.cost)
            best = {m, false, cost, static_cast<std::size_t>(rows)};
    }
    return best;
}

} // namespace velmora::fast
