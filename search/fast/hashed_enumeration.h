#pragma once
// The enumeration behind the hashed build of a sparse table.

#include "search/fast/packed_values.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora::fast {

// The inner combinations in enumeration order with h (modulo 2^64) and their index, both stepped
// by addition: no division or multiplication per combination. The index holds each term's value
// minus its low bound in a bit field, the last term's field highest: indices grow in enumeration order.
struct HashedEnumeration {
    std::array<std::uint32_t, 4> size{};
    std::array<std::uint64_t, 4> start{};
    std::array<std::uint64_t, 4> step{};
    std::array<unsigned, 4> fieldShift{};
    std::array<std::uint64_t, 4> fieldMask{};
    std::uint64_t lowLanes = 0; // each term's low bound in its lane

    template <int K, class Visit>
    void nest(std::uint64_t h, std::uint64_t index, Visit& visit) const {
        const std::uint64_t step = this->step[K];
        const std::uint64_t indexStep = std::uint64_t{1} << fieldShift[K];
        h += start[K];
        for (std::uint32_t i = 0; i < size[K]; ++i, h += step, index += indexStep) {
            if constexpr (K == 0)
                visit(h, index);
            else
                nest<K - 1>(h, index, visit);
        }
    }

    template <class Visit>
    void forEach(int terms, Visit&& visit) const {
        switch (terms) {
        case 1: nest<0>(0, 0, visit); break;
        case 2: nest<1>(0, 0, visit); break;
        case 3: nest<2>(0, 0, visit); break;
        default: nest<3>(0, 0, visit); break;
        }
    }

    // The packed values of an index: each field moved to its lane, plus the low bounds lane by
    // lane (16-bit lanes wrap on their own, so that negative bounds do not carry into the next).
    std::uint64_t values(std::uint64_t index) const {
        std::uint64_t fields = 0;
        for (std::size_t k = 0; k < 4; ++k)
            fields |= (index >> fieldShift[k] & fieldMask[k]) << (16 * k);
        constexpr std::uint64_t top = 0x8000800080008000ull;
        return ((fields & ~top) + (lowLanes & ~top)) ^ ((fields ^ lowLanes) & top);
    }
};

} // namespace velmora::fast
