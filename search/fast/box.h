#pragma once
// Boxes of combinations and what the recursion knows about each term of a box.

#include "search/combination_search.h"
#include "search/fast/arithmetic.h"
#include "search/fast/packed_values.h"
#include "search/overflow_stop.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::fast {

constexpr int kTerms = SearchSetup::kTermCount;

// A box of combinations: one inclusive, non-empty range per term. Within a box that lies wholly before
// the overflow stop, sums are exact in 64 bits and need no overflow test.
struct Box {
    std::array<std::int32_t, kTerms> lo{};
    std::array<std::int32_t, kTerms> hi{};
};

inline std::int64_t productMin(std::int64_t w, const Box& box, int k) {
    return std::min(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
inline std::int64_t productMax(std::int64_t w, const Box& box, int k) {
    return std::max(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
inline double rangeSize(const Box& box, int k) {
    return double(box.hi[static_cast<std::size_t>(k)]) - box.lo[static_cast<std::size_t>(k)] + 1;
}

// The combinations before `stop` (all of them when there is none) as boxes in enumeration order: with
// terms above j at the stop's values, term j before its stop value and the terms below free, for j from
// term 8 down to term 1. Empty when some range is empty.
std::vector<Box> boxesBefore(const SearchSetup& setup, const std::optional<Combination>& stop);

// The combinations of `box` from `from` on, as boxes in enumeration order: terms above j at from's
// values and term j after its value (at it, for term 1), for j from term 1 up to term 8.
std::vector<Box> boxesFrom(const Box& box, const Combination& from);

// What the recursion knows about one term: its values, and what the terms below it can still reach.
struct Level {
    std::int64_t weight = 0;
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    std::int64_t innerMin = 0; // reachable sums of the terms below
    std::int64_t innerMax = 0;
    std::int64_t innerGcd = 0; // every reachable sum of the terms below is a multiple of it (0: only 0)
    std::int64_t divisor = 1;  // gcd(weight, innerGcd): the remainder must be a multiple of it
    std::int64_t modulus = 1;  // the values that work repeat with this period ...
    std::int64_t inverse = 0;  // ... found through (weight / divisor)^-1 modulo `modulus`

    // Whether the terms below can make `rest` at all.
    bool reachable(std::int64_t rest) const {
        return rest >= innerMin && rest <= innerMax && (innerGcd <= 1 || floorMod(rest, innerGcd) == 0);
    }

    // The values of this (non-zero weight) term that leave a remainder the terms below can reach, as
    // first, last and step `modulus`. Exact when there are no terms below, or only term 1 below.
    bool values(std::int64_t rest, std::int64_t& first, std::int64_t& last) const {
        if (weight > 0) {
            first = ceilDiv(rest - innerMax, weight);
            last = floorDiv(rest - innerMin, weight);
        } else {
            first = ceilDiv(rest - innerMin, weight);
            last = floorDiv(rest - innerMax, weight);
        }
        first = std::max<std::int64_t>(first, lo);
        last = std::min<std::int64_t>(last, hi);
        if (first > last)
            return false;
        if (divisor > 1 && floorMod(rest, divisor) != 0)
            return false;
        if (modulus > 1) {
            const std::int64_t v0 = floorMod(rest / divisor, modulus) * inverse % modulus;
            first += floorMod(v0 - first, modulus);
            return first <= last;
        }
        return true;
    }
};

// The levels of every term of `box`, term 1 first.
std::array<Level, kTerms> levelsOf(const Box& box, const std::array<std::int64_t, kTerms>& weights);

// Visits every combination of terms 1..K+1 of `box` in enumeration order (term K+1 slowest), with its
// sum and its values packed as 16-bit lanes (term 1 in the low lane). Nested loops, one per term, so
// that the innermost is a plain counting loop.
template <int K, class Visit>
void nestInner(const Box& box, const std::array<std::int64_t, kTerms>& weights, std::int64_t sum,
               std::uint64_t packed, Visit& visit) {
    const std::int32_t lo = box.lo[K];
    const std::int32_t hi = box.hi[K];
    const std::int64_t w = weights[K];
    std::int64_t s = sum + w * lo;
    for (std::int32_t v = lo; v <= hi; ++v, s += w) {
        if constexpr (K == 0)
            visit(s, packed | lane(K, v));
        else
            nestInner<K - 1>(box, weights, s, packed | lane(K, v), visit);
    }
}

template <class Visit>
void forEachInner(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, Visit&& visit) {
    switch (terms) {
    case 1: nestInner<0>(box, weights, 0, 0, visit); break;
    case 2: nestInner<1>(box, weights, 0, 0, visit); break;
    case 3: nestInner<2>(box, weights, 0, 0, visit); break;
    default: nestInner<3>(box, weights, 0, 0, visit); break;
    }
}

} // namespace velmora::fast
