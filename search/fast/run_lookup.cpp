#include "search/fast/run_lookup.h"

#include "search/fast/join_parts.h"

#include <algorithm>
#include <limits>

namespace velmora::fast::join {

namespace {
// The low part's table: at most this many combinations (256 KB), unless the first term alone has more.
constexpr double kLowCombinations = double(1 << 14);
} // namespace

RunLookup::RunLookup(const JoinBox& box, int from, int to) {
    int split = from + 1;
    while (split < to && combinations(box, from, split + 1) <= kLowCombinations)
        ++split;
    split = std::min(split, to);
    m_low = makeTermRun(box, from, split).packed;
    m_high = makeTermRun(box, split, to).packed;
    m_lowCount = static_cast<std::uint32_t>(m_low.size());
    if (m_lowCount > 1)
        m_magic = std::numeric_limits<std::uint64_t>::max() / m_lowCount + 1;
}

} // namespace velmora::fast::join
