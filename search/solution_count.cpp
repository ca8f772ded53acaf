#include "search/solution_count.h"

#include <algorithm>

namespace velmora {

SolutionCount& SolutionCount::operator+=(const SolutionCount& other) {
    unsigned __int128 carry = 0;
    for (std::size_t i = 0; i < m_limbs.size(); ++i) {
        const unsigned __int128 sum = static_cast<unsigned __int128>(m_limbs[i]) + other.m_limbs[i] + carry;
        m_limbs[i] = static_cast<std::uint64_t>(sum);
        carry = sum >> 64;
    }
    return *this;
}

SolutionCount& SolutionCount::operator*=(std::uint64_t factor) {
    unsigned __int128 carry = 0;
    for (std::uint64_t& limb : m_limbs) {
        const unsigned __int128 product = static_cast<unsigned __int128>(limb) * factor + carry;
        limb = static_cast<std::uint64_t>(product);
        carry = product >> 64;
    }
    return *this;
}

SolutionCount& SolutionCount::operator*=(const SolutionCount& other) {
    SolutionCount product;
    for (std::size_t i = 0; i < other.m_limbs.size(); ++i) {
        SolutionCount part = *this;
        part *= other.m_limbs[i];
        // shift the partial product up by i limbs
        for (std::size_t j = part.m_limbs.size(); j-- > 0;)
            part.m_limbs[j] = j >= i ? part.m_limbs[j - i] : 0;
        product += part;
    }
    return *this = product;
}

std::string SolutionCount::text() const {
    // Repeated division by 10^18 keeps the work to a few 128-bit divisions per limb.
    constexpr std::uint64_t kChunk = 1000000000000000000ull;
    std::array<std::uint64_t, 3> n = m_limbs;
    std::string digits;
    const auto zero = [&n] { return (n[0] | n[1] | n[2]) == 0; };
    do {
        unsigned __int128 rest = 0;
        for (std::size_t i = n.size(); i-- > 0;) {
            const unsigned __int128 part = (rest << 64) | n[i];
            n[i] = static_cast<std::uint64_t>(part / kChunk);
            rest = part % kChunk;
        }
        std::uint64_t chunk = static_cast<std::uint64_t>(rest);
        for (int d = 0; d < 18; ++d) {
            digits.push_back(static_cast<char>('0' + chunk % 10));
            chunk /= 10;
            if (chunk == 0 && zero())
                break;
        }
    } while (!zero());
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace velmora
