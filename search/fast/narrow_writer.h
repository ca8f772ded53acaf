#pragma once
// The 16-byte record writer, taken everywhere the 64-byte one is not. Inline: the emitter calls it for
// every run of table matches.

#include "search/fast/record_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace velmora::fast {

// Four records are 80 bytes, five 16-byte words, built from two loads of packed values: a run is
// written a group of four at a time, groups starting at records whose index is a multiple of 4
// (16-byte aligned in the block), and one more group from `at` when it is not.
inline void writeRunNarrow(Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n,
                           std::uint64_t lowBits, std::uint64_t high, std::int32_t target) {
#if VELMORA_SSE2
    static_assert(sizeof(Solution) == 20 && offsetof(Solution, values) == 4);
    // 32-bit lanes of the four records: T L0 L0 H | H T L1 L1 | H H T L2 | L2 H H T | L3 L3 H H,
    // the constant lanes shifted into place from the sum and the high word.
    const __m128i t = _mm_cvtsi32_si128(target);
    const __m128i h = _mm_set_epi64x(0, static_cast<long long>(high));
    const __m128i c0 = _mm_or_si128(t, _mm_slli_si128(h, 12));                   // T 0 0 H
    const __m128i c13 = _mm_or_si128(_mm_slli_si128(h, 4), _mm_slli_si128(t, 12)); // 0 H H T
    const __m128i c2 = _mm_or_si128(h, _mm_slli_si128(t, 8));                    // H H T 0
    const __m128i c4 = _mm_slli_si128(h, 8);                                      // 0 0 H H
    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(lowBits));
    const auto group = [&](Solution* to, const std::uint64_t* from, auto store, auto withBits) {
        auto* out = reinterpret_cast<__m128i*>(to);
        __m128i x01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        __m128i x23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2));
        if constexpr (decltype(withBits)::value) {
            x01 = _mm_or_si128(x01, bits);
            x23 = _mm_or_si128(x23, bits);
        }
        store(out, _mm_or_si128(c0, _mm_slli_si128(_mm_move_epi64(x01), 4)));
        store(out + 1, _mm_unpackhi_epi64(c13, x01));
        store(out + 2, _mm_or_si128(c2, _mm_slli_si128(x23, 12)));
        store(out + 3, _mm_or_si128(c13, _mm_srli_si128(_mm_move_epi64(x23), 4)));
        store(out + 4, _mm_unpackhi_epi64(x23, c4));
    };
    const auto groups = [&](auto withBits) {
        const std::size_t end = at + n;
        if (at % 4 != 0)
            group(block + at, inner, [](__m128i* p, __m128i v) { _mm_storeu_si128(p, v); }, withBits);
        for (std::size_t i = (at + 3) / 4 * 4; i < end; i += 4)
            group(block + i, inner + (i - at), [](__m128i* p, __m128i v) { _mm_store_si128(p, v); }, withBits);
    };
    if (lowBits == 0) // the table holds every low term: nothing to merge into its values
        groups(std::false_type{});
    else
        groups(std::true_type{});
#else
    for (std::size_t i = 0; i < n; ++i) {
        Solution& s = block[at + i];
        const std::uint64_t low = inner[i] | lowBits;
        s.sum = target;
        std::memcpy(s.values.data(), &low, sizeof low);
        std::memcpy(s.values.data() + 4, &high, sizeof high);
    }
#endif
}

} // namespace velmora::fast
