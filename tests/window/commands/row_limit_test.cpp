// The row limit: whole blocks of the row store in half of the physical memory, between one block and
// 2^30 rows.
#include "window/commands/row_limit.h"

#include "search/run_time_error.h"
#include "window/commands/row_store.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kBlock = RowStore::kBlockRows;

// The figures below: a block is 65536 rows of 16 bytes (1,048,576 bytes); the block table holds 24 bytes
// an entry, 16 entries for up to 16 blocks, then doubling (4096 entries for 4095 blocks).
static_assert(RowStore::kBlockValueBytes == 1048576);
static_assert(sizeof(void*) != 8 || RowStore::kTableEntryBytes == 24);

// Fills a store of `limit` rows until it reports error 7; returns the bytes it then holds.
std::size_t bytesWhenFull(std::size_t limit) {
    RowStore store(limit);
    const std::vector<Solution> batch(4096);
    try {
        for (;;)
            store.append(batch);
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    EXPECT_EQ(store.size(), limit);
    return store.bytesAllocated();
}

TEST(RowLimit, WholeBlocksInHalfTheMemoryBetweenOneBlockAndTwoToThe30) {
    struct Case {
        const char* name;
        std::uint64_t memory;
        std::size_t rows;
        bool fromHalf; // the limit is what half of the memory holds, neither raised nor capped
    };
    const Case cases[] = {
        {"no memory", 0, kBlock, false},
        {"1 MiB", 1u << 20, kBlock, false},
        {"two bytes short of one block", 2097920 - 2, kBlock, false},
        {"exactly one block", 2097920, kBlock, true},
        {"exactly three blocks", 6292224, 3 * kBlock, true},
        {"an odd byte over three blocks", 6292225, 3 * kBlock, true},
        {"two bytes short of three blocks", 6292224 - 2, 2 * kBlock, true},
        {"8 GiB, more than 32 bits hold", std::uint64_t{1} << 33, 4095 * kBlock, false},
        {"two bytes short of 2^30 rows", 34360524800 - 2, RowStore::kDefaultLimit - kBlock, false},
        {"exactly 2^30 rows", 34360524800, RowStore::kDefaultLimit, false},
        {"1 TiB", std::uint64_t{1} << 40, RowStore::kDefaultLimit, false},
        {"the largest 64-bit size", kMax64, RowStore::kDefaultLimit, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t rows = rowLimitForMemory(c.memory);
        EXPECT_EQ(rows, c.rows);
        if (c.fromHalf) {
            // A real store filled to the limit fits in half the memory; one block more would not.
            EXPECT_LE(bytesWhenFull(rows), c.memory / 2);
            EXPECT_GT(bytesWhenFull(rows + kBlock), c.memory / 2);
        }
    }
}

} // namespace
} // namespace velmora
