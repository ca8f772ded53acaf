#pragma once
// The packed values of a run's combination from its index, without the run's table of them, which
// may be tens of megabytes and is read at random: the index splits into a low part (the earlier
// terms, few enough combinations that their table stays in the cache) and a high part (the later
// terms), by a division done as a multiplication.

#include "search/fast/join.h"

#include <cstdint>
#include <vector>

namespace velmora::fast::join {

class RunLookup {
public:
    RunLookup() = default;
    /// Terms [from, to) of the box, first term fastest as in a TermRun; fewer than 2^32 combinations.
    RunLookup(const JoinBox& box, int from, int to);

    PackedValues at(std::uint32_t index) const {
        // index / m_lowCount, exact for every 32-bit index: ceil(2^64 / d) * n / 2^64, rounded down.
        const std::uint32_t high =
            m_lowCount == 1 ? index : static_cast<std::uint32_t>(static_cast<unsigned __int128>(m_magic) * index >> 64);
        const PackedValues& a = m_low[index - high * m_lowCount];
        const PackedValues& b = m_high[high];
        return {a.low | b.low, a.high | b.high};
    }

private:
    std::vector<PackedValues> m_low;
    std::vector<PackedValues> m_high;
    std::uint32_t m_lowCount = 1;
    std::uint64_t m_magic = 0;
};

} // namespace velmora::fast::join
