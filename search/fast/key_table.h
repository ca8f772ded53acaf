#pragma once
// The in-cache table of keys that the partitioned join groups a partition with.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::fast::join {

/// Keys of one partition and a value for each: open addressing, grown as it fills. Sized for one
/// partition, it stays in the processor's cache.
class KeyTable {
public:
    static constexpr std::uint32_t kNone = 0xffffffff;

    void reset(std::size_t expected);
    /// Room for `expected` keys, so that a later reset() to at most that many allocates nothing.
    void reserve(std::size_t expected);
    /// The value of `key`, or kNone.
    std::uint32_t find(std::uint32_t key) const {
        for (std::size_t i = slot(key);; i = (i + 1) & m_mask) {
            if (m_values[i] == kNone || m_keys[i] == key)
                return m_values[i];
        }
    }
    /// The value of `key`, given `value` first if it had none (`added` then set).
    std::uint32_t& insert(std::uint32_t key, std::uint32_t value, bool& added) {
        if (2 * (m_used + 1) > m_values.size())
            grow();
        std::size_t i = slot(key);
        for (; m_values[i] != kNone; i = (i + 1) & m_mask)
            if (m_keys[i] == key) {
                added = false;
                return m_values[i];
            }
        ++m_used;
        added = true;
        m_keys[i] = key;
        return m_values[i] = value;
    }

private:
    std::size_t slot(std::uint32_t key) const {
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ull) >> m_shift);
    }
    void grow();

    std::vector<std::uint32_t> m_keys;
    std::vector<std::uint32_t> m_values; // kNone: an empty slot
    std::size_t m_mask = 0;
    unsigned m_shift = 63;
    std::size_t m_used = 0;
};

} // namespace velmora::fast::join
