#include "search/fast/cost_model.h"

#include <algorithm>
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
    // Calls of the recursion with terms k+1..8 set: their combinations whose remainder the terms
    // below can reach, the outer sum taken as normally distributed.
    const auto nodesAt = [&](int k) {
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
        const double lo = double(target) - (k == kTerms ? spanBelow[kTerms] : innerMax) - 0.5;
        const double hi = double(target) - (k == kTerms ? 0 : innerMin) + 0.5;
        if (k == kTerms)
            return 1.0;
        if (variance == 0)
            return (mean >= lo && mean <= hi) ? outer : 0.0;
        const double sd = std::sqrt(2 * variance);
        return outer * std::max(0.0, (std::erf((hi - mean) / sd) - std::erf((lo - mean) / sd)) / 2);
    };
    std::array<double, kTerms + 1> nodes{};
    for (int k = 1; k <= kTerms; ++k)
        nodes[static_cast<std::size_t>(k)] = nodesAt(k);
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

} // namespace velmora::fast
