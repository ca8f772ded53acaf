#pragma once
// Integer helpers of the fast engine: division rounded towards minus infinity, the modular inverse,
// and exact division by a fixed divisor. Inline: the search calls them on every step.

#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

namespace velmora::fast {

inline std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
inline std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return -floorDiv(-a, b); }
inline std::int64_t floorMod(std::int64_t a, std::int64_t b) { // b > 0
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// a^-1 modulo m, for gcd(a, m) = 1 and m > 1.
inline std::int64_t inverseMod(std::int64_t a, std::int64_t m) {
    std::int64_t r0 = m, r1 = floorMod(a, m), s0 = 0, s1 = 1;
    while (r1 != 0) {
        const std::int64_t q = r0 / r1;
        r0 = std::exchange(r1, r0 - q * r1);
        s0 = std::exchange(s1, s0 - q * s1);
    }
    return floorMod(s0, m);
}

// Division of numbers known to be multiples of a fixed divisor: a shift and a multiplication by the
// inverse of its odd part modulo 2^64, instead of a 64-bit division on every look-up.
class ExactDivisor {
public:
    explicit ExactDivisor(std::uint64_t divisor = 1)
        : m_shift(static_cast<unsigned>(std::countr_zero(divisor))), m_odd(divisor >> m_shift) {
        std::uint64_t x = m_odd; // Newton's iteration doubles the correct low bits each step
        for (int i = 0; i < 6; ++i)
            x *= 2 - m_odd * x;
        m_inverse = x;
    }
    bool divides(std::uint64_t n) const {
        return (n & ((std::uint64_t{1} << m_shift) - 1)) == 0 &&
               (n >> m_shift) * m_inverse <= std::numeric_limits<std::uint64_t>::max() / m_odd;
    }
    std::uint64_t divide(std::uint64_t n) const { return (n >> m_shift) * m_inverse; }

private:
    unsigned m_shift = 0;
    std::uint64_t m_odd = 1;
    std::uint64_t m_inverse = 1;
};

} // namespace velmora::fast
