// The row store: rows in order across blocks, sums that differ, 16 bytes a row, and its limit.
#include "window/commands/row_store.h"

#include "search/run_time_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace velmora {
namespace {

Solution solution(std::int32_t sum, std::int16_t first) {
    Solution s;
    s.sum = sum;
    for (std::size_t i = 0; i < s.values.size(); ++i)
        s.values[i] = static_cast<std::int16_t>(first + static_cast<std::int16_t>(i));
    return s;
}

std::vector<Solution> rows(int count, std::int32_t sum = 7) {
    std::vector<Solution> result;
    for (int r = 0; r < count; ++r)
        result.push_back(solution(sum, static_cast<std::int16_t>(r)));
    return result;
}

TEST(RowStore, KeepsRowsInOrderAcrossBlocks) {
    RowStore store;
    const auto batch = rows(1000);
    const std::size_t total = RowStore::kBlockRows + 500;
    std::size_t appended = 0;
    while (appended < total) {
        const std::size_t n = std::min<std::size_t>(batch.size(), total - appended);
        store.append(std::span(batch).first(n));
        appended += n;
    }
    ASSERT_EQ(store.size(), total);
    for (std::size_t row : {std::size_t{0}, std::size_t{999}, RowStore::kBlockRows - 1, RowStore::kBlockRows,
                            total - 1}) {
        EXPECT_EQ(store.cell(row, 0), 7) << "row " << row;
        for (int c = 1; c <= 8; ++c)
            EXPECT_EQ(store.cell(row, c), static_cast<std::int32_t>(row % 1000) + c - 1) << "row " << row;
    }
}

TEST(RowStore, KeepsSumsThatDiffer) {
    RowStore store;
    const std::vector<Solution> mixed{solution(5, 0), solution(std::numeric_limits<std::int32_t>::min(), 1),
                                      solution(std::numeric_limits<std::int32_t>::max(), 2), solution(5, 3)};
    store.append(mixed);
    EXPECT_EQ(store.cell(0, 0), 5);
    EXPECT_EQ(store.cell(1, 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.cell(2, 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store.cell(3, 0), 5);
    EXPECT_EQ(store.cell(3, 1), 3);
}

TEST(RowStore, UsesSixteenBytesPerRowWhenSumsAgree) {
    RowStore store;
    const auto batch = rows(1024);
    for (int i = 0; i < 256; ++i) // 4 full blocks
        store.append(batch);
    EXPECT_LE(double(store.bytesAllocated()) / double(store.size()), 16.1);
    // Sums that differ cost four bytes more per row, never more.
    RowStore mixed;
    std::vector<Solution> alternating = rows(1024);
    for (std::size_t i = 0; i < alternating.size(); i += 2)
        alternating[i].sum = -1;
    for (int i = 0; i < 128; ++i) // 2 full blocks
        mixed.append(alternating);
    EXPECT_EQ(mixed.cell(0, 0), -1);
    EXPECT_EQ(mixed.cell(1, 0), 7);
    EXPECT_LE(double(mixed.bytesAllocated()) / double(mixed.size()), 20.1);
}

TEST(RowStore, StopsAtItsLimitKeepingWhatFitted) {
    RowStore store(10);
    store.append(rows(6));
    try {
        store.append(rows(6));
        FAIL() << "no error at the limit";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    EXPECT_EQ(store.size(), 10u);
    EXPECT_EQ(store.cell(9, 1), 3); // the fourth row of the second batch
    EXPECT_THROW(store.append(rows(1)), RunTimeError);
    store.append({}); // nothing to add is no error, even when full
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    store.append(rows(10));
    EXPECT_EQ(store.size(), 10u);
}

TEST(RowStore, LimitIsClampedToTheScrollBarsRange) {
    EXPECT_EQ(RowStore(std::size_t{1} << 40).limit(), RowStore::kDefaultLimit);
    EXPECT_LE(RowStore::kDefaultLimit, std::size_t(std::numeric_limits<int>::max()));
}

} // namespace
} // namespace velmora
