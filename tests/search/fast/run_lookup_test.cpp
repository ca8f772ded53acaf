// A run's packed values found from the index by the split table agree with the run's own table, at
// the edges of the split: one combination, a first term too large for the low table, a low part of
// exactly its limit, divisors that are and are not powers of two, and the run's last index.
#include "search/fast/join_parts.h"
#include "search/fast/run_lookup.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace velmora::fast::join {
namespace {

JoinBox boxOf(const std::array<std::array<std::int32_t, 2>, 8>& ranges) {
    JoinBox box;
    for (std::size_t k = 0; k < 8; ++k) {
        box.lo[k] = ranges[k][0];
        box.hi[k] = ranges[k][1];
        box.weights[k] = 1;
    }
    return box;
}

TEST(RunLookup, AgreesWithTheRunsTableForEveryIndex) {
    struct Row {
        const char* what;
        std::array<std::array<std::int32_t, 2>, 8> ranges;
        int from, to;
    };
    const Row rows[] = {
        {"one combination", {{{5, 5}, {-3, -3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}, 0, 3},
        {"an empty run", {{{0, 9}, {0, 9}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}, 2, 2},
        {"one term", {{{-7, 9}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}, 0, 1},
        {"a first term larger than the low table",
         {{{-32768, 32767}, {0, 3}, {1, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
         0,
         3},
        {"a low part of exactly 2^14", {{{0, 127}, {0, 127}, {-2, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}, 0, 3},
        {"divisors not powers of two", {{{0, 0}, {0, 0}, {0, 0}, {-50, 50}, {3, 99}, {-1, 1}, {0, 6}, {0, 0}}}, 3, 7},
        {"the later terms of a side", {{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 126}, {0, 126}, {0, 126}, {7, 9}}}, 4, 8},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const JoinBox box = boxOf(r.ranges);
        const TermRun run = makeTermRun(box, r.from, r.to);
        const RunLookup lookup(box, r.from, r.to);
        ASSERT_LT(run.packed.size(), std::size_t{1} << 32);
        for (std::size_t i = 0; i < run.packed.size(); ++i) {
            const PackedValues got = lookup.at(static_cast<std::uint32_t>(i));
            if (got.low != run.packed[i].low || got.high != run.packed[i].high)
                FAIL() << "index " << i << " of " << run.packed.size();
        }
    }
}

} // namespace
} // namespace velmora::fast::join
