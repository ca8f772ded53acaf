// The ring between the join's two threads hands every block on in order, through a full ring (the
// taker starts only once the filler has filled every block and waits), and a stop frees a filler
// that waits for a block.
#include "search/fast/block_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace velmora::fast::join {
namespace {

TEST(BlockRing, HandsBlocksOnInOrderAndAStopFreesTheFiller) {
    constexpr std::size_t kBlocks = BlockRing::kBlocks, kBlock = BlockRing::kBlock;
    // Per piece, the combinations the filler makes; each block but a piece's last is full.
    const std::vector<std::size_t> pieces = {0, 1, kBlock, kBlock + 1, 3 * kBlocks * kBlock + 7, 5};
    BlockRing ring;
    ring.allocate();
    std::atomic<std::size_t> published{0};
    std::thread filler([&] {
        std::uint64_t next = 0;
        for (const std::size_t size : pieces) {
            std::size_t left = size;
            do {
                PackedValues* block = ring.acquire();
                ASSERT_NE(block, nullptr);
                const std::size_t n = std::min(left, kBlock);
                for (std::size_t i = 0; i < n; ++i)
                    block[i] = {next++, 0};
                left -= n;
                ring.publish(n, left == 0);
                ++published;
            } while (left > 0);
        }
    });
    while (published < kBlocks)
        std::this_thread::yield(); // the ring is full: the filler waits for a block
    std::uint64_t expected = 0;
    for (const std::size_t size : pieces) {
        std::size_t got = 0;
        for (BlockRing::Block block = ring.take();; block = ring.take()) {
            for (std::size_t i = 0; i < block.count; ++i)
                ASSERT_EQ(block.values[i].low, expected++);
            got += block.count;
            ring.release();
            if (block.last)
                break;
        }
        EXPECT_EQ(got, size);
    }
    filler.join();

    // A filler that waits on a full ring gets no block once the taker stops.
    std::atomic<int> blocks{0};
    std::thread endless([&] {
        while (PackedValues* block = ring.acquire()) {
            block[0] = {};
            ring.publish(1, false);
            ++blocks;
        }
    });
    while (blocks < int(kBlocks))
        std::this_thread::yield();
    ring.take();
    ring.release();
    ring.stop();
    endless.join();
    EXPECT_LE(blocks, int(kBlocks) + 1);
}

} // namespace
} // namespace velmora::fast::join
