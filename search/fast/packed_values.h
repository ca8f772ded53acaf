#pragma once
// The values of a combination packed as 16-bit lanes: `low` holds terms 1..4 (term 1 in the lowest
// lane), `high` terms 5..8, the layout of Solution::values, so that a record is written in two words.

#include <cstdint>

namespace velmora::fast {

// Term k+1's value in its lane of its word.
inline std::uint64_t lane(int k, std::int32_t value) {
    return std::uint64_t{static_cast<std::uint16_t>(value)} << (16 * (k & 3));
}

// Every bit of a word but term k+1's lane.
inline std::uint64_t otherLanes(int k) { return ~(std::uint64_t{0xffff} << (16 * (k & 3))); }

// Sets term k+1's value in the packed values of a combination.
inline void setLane(std::uint64_t& low, std::uint64_t& high, int k, std::int64_t value) {
    std::uint64_t& word = k < 4 ? low : high;
    word = (word & otherLanes(k)) | lane(k, static_cast<std::int32_t>(value));
}

} // namespace velmora::fast
