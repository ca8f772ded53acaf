// How many chunks a sweep's listing goes in: never fewer than its memory needs, more only where a
// smaller chunk's memory saves more than sweeping the inner side again costs.
#include "search/fast/cost_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora::fast::join {
namespace {

TEST(SweepChunks, AsFewAsTheMemoryAllowsUnlessTouchingMoreCostsMore) {
    constexpr double kGiB = 1024.0 * 1024 * 1024;
    const struct {
        double bytes, budget, inner, rows, span;
        double least, most; // the chunks expected
    } rows[] = {
        {0, kGiB, 1e6, 100, 1e8, 1, 1},                        // nothing to hold
        {1e6, kGiB, 2.7e8, 128, 1.2e9, 1, 1},                 // a small listing: one chunk
        {1.3 * kGiB, 0.9 * kGiB, 6.6e8, 25600, 1.6e9, 2, 2},  // two for the memory, a third costs more
        {6.0e9, 0.9 * kGiB, 6.6e8, 25600, 1.6e9, 7, 7},       // the memory alone decides
        {0.9e9, kGiB, 2.7e8, 128, 1.2e9, 2, 2},               // fits one, but two touch less fresh memory
        {8e9, 8e9, 1, 1, 0, 2, 1e4},                          // a tiny inner side: many, but finitely many
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.bytes) + " bytes within " + std::to_string(row.budget));
        for (const int threads : {1, 2}) {
            const double chunks = sweepChunks(row.bytes, row.budget, row.inner, row.rows, row.span, threads);
            EXPECT_EQ(chunks, std::floor(chunks));
            EXPECT_GE(chunks, std::max(1.0, std::ceil(row.bytes / row.budget)));
            EXPECT_GE(chunks, row.least);
            EXPECT_LE(chunks, row.most);
        }
    }
}

} // namespace
} // namespace velmora::fast::join
