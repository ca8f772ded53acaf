#pragma once
// A ring of blocks of combinations between two threads: one fills blocks, the other hands them on in
// the order they were filled. Each side waits only when the ring is full or empty. A lock and a
// condition variable, taken once a block of thousands of combinations, hand the blocks over.

#include "search/fast/join.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
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
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopped || m_filled - m_handed < kBlocks; });
        return m_stopped ? nullptr : m_values.data() + m_filled % kBlocks * kBlock;
    }
    /// The block acquired holds `count` combinations.
    void publish(std::size_t count, bool last) {
        {
            const std::lock_guard lock(m_mutex);
            m_count[m_filled % kBlocks] = count;
            m_last[m_filled % kBlocks] = last;
            ++m_filled;
        }
        m_changed.notify_all();
    }

    /// The next block filled, once there is one.
    Block take() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_filled != m_handed; });
        const std::size_t b = m_handed % kBlocks;
        return {m_values.data() + b * kBlock, m_count[b], m_last[b]};
    }
    /// The block taken is free again.
    void release() {
        {
            const std::lock_guard lock(m_mutex);
            ++m_handed;
        }
        m_changed.notify_all();
    }

    /// The taker gives up: the filler's acquire returns null from now on.
    void stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    // A block's values are written and read outside the lock: a block belongs to the filler from
    // acquire to publish and to the taker from take to release, and the counts, changed under the
    // lock, hand it over.
    std::vector<PackedValues> m_values;
    std::array<std::size_t, kBlocks> m_count{};
    std::array<bool, kBlocks> m_last{};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_filled = 0; // blocks published
    std::uint64_t m_handed = 0; // blocks released
    bool m_stopped = false;
};

} // namespace velmora::fast::join
