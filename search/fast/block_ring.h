#pragma once
// A ring of blocks of combinations between two threads: one fills blocks, the other hands them on in
// the order they were filled. Each side waits only when the ring is full or empty.

#include "search/fast/join.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::fast::join {

class BlockRing {
public:
    static constexpr std::size_t kBlocks = 8;
    static constexpr std::size_t kBlock = 4096; // combinations a block

    struct Block {
        const PackedValues* values;
        std::size_t count;
        bool last; // the last block of a piece of the filler's work
    };

    /// Takes the ring's memory; before anything else.
    void allocate() { m_values.resize(kBlocks * kBlock); }

    /// The filler's next block to fill, once one is free; null once the ring is stopped.
    PackedValues* acquire() {
        const std::uint64_t filled = m_filled.load(std::memory_order_relaxed);
        for (;;) {
            const std::uint64_t handed = m_handed.load(std::memory_order_acquire);
            if (m_stopped.load(std::memory_order_acquire))
                return nullptr;
            if (filled - handed < kBlocks)
                return m_values.data() + filled % kBlocks * kBlock;
            m_handed.wait(handed, std::memory_order_acquire);
        }
    }
    /// The block acquired holds `count` combinations.
    void publish(std::size_t count, bool last) {
        const std::uint64_t filled = m_filled.load(std::memory_order_relaxed);
        m_count[filled % kBlocks] = count;
        m_last[filled % kBlocks] = last;
        m_filled.store(filled + 1, std::memory_order_release);
        m_filled.notify_one();
    }

    /// The next block filled, once there is one.
    Block take() {
        const std::uint64_t handed = m_handed.load(std::memory_order_relaxed);
        std::uint64_t filled;
        while ((filled = m_filled.load(std::memory_order_acquire)) == handed)
            m_filled.wait(filled, std::memory_order_acquire);
        const std::size_t b = handed % kBlocks;
        return {m_values.data() + b * kBlock, m_count[b], m_last[b]};
    }
    /// The block taken is free again.
    void release() {
        m_handed.fetch_add(1, std::memory_order_release);
        m_handed.notify_one();
    }

    /// The taker gives up: the filler's acquire returns null from now on.
    void stop() {
        m_stopped.store(true, std::memory_order_release);
        m_handed.fetch_add(1, std::memory_order_release); // wakes a filler waiting for a free block
        m_handed.notify_one();
    }

private:
    std::vector<PackedValues> m_values;
    std::array<std::size_t, kBlocks> m_count{};
    std::array<bool, kBlocks> m_last{};
    std::atomic<std::uint64_t> m_filled{0}; // blocks published
    std::atomic<std::uint64_t> m_handed{0}; // blocks released
    std::atomic<bool> m_stopped{false};
};

} // namespace velmora::fast::join
