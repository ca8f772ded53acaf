#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

/// An exact number of solutions. Eight full ranges of weight 0 with target 0 give 65536^8 = 2^128
/// solutions, one more than unsigned __int128 holds, so the count keeps a third 64-bit limb.
class SolutionCount {
public:
    SolutionCount() = default;
    SolutionCount(unsigned __int128 value)
        : m_limbs{static_cast<std::uint64_t>(value), static_cast<std::uint64_t>(value >> 64), 0} {}

    SolutionCount& operator+=(const SolutionCount& other);
    /// Multiplies by a range size (at most 65536) or any other factor below 2^64.
    SolutionCount& operator*=(std::uint64_t factor);
    friend SolutionCount operator+(SolutionCount a, const SolutionCount& b) { return a += b; }
    /// Multiplies by another count; the product must stay within 2^192.
    SolutionCount& operator*=(const SolutionCount& other);
    friend SolutionCount operator*(SolutionCount a, std::uint64_t factor) { return a *= factor; }
    friend SolutionCount operator*(SolutionCount a, const SolutionCount& b) { return a *= b; }
    friend bool operator==(const SolutionCount&, const SolutionCount&) = default;

    bool isZero() const { return (m_limbs[0] | m_limbs[1] | m_limbs[2]) == 0; }
    /// Plain decimal digits, no grouping.
    std::string text() const;

private:
    std::array<std::uint64_t, 3> m_limbs{}; // least significant first
};

} // namespace velmora
