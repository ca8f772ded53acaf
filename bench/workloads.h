#pragma once

#include "setup/search_setup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::bench {

/// The benchmark workloads, shared by the engine benchmark and the settings files of the command
/// benchmark, so both measure the same setups.
inline SearchSetup workload(std::int32_t target, std::array<std::int32_t, 8> weights,
                            std::array<std::array<std::int16_t, 2>, 8> ranges) {
    SearchSetup setup;
    setup.target = target;
    for (std::size_t k = 0; k < 8; ++k)
        setup.terms[k] = {weights[k], ranges[k][0], ranges[k][1], std::string(1, static_cast<char>('1' + k))};
    return setup;
}

inline std::array<std::array<std::int16_t, 2>, 8> every(std::int16_t first, std::int16_t last) {
    std::array<std::array<std::int16_t, 2>, 8> ranges;
    ranges.fill({first, last});
    return ranges;
}

constexpr std::array<std::int32_t, 8> kShopping = {98, 128, 158, 198, 248, 298, 398, 498};
constexpr std::array<std::int32_t, 8> kWide = {100003, 200017, 300007, 400009, 500009, 600011, 700001, 800011};

inline SearchSetup w1Shopping() { return workload(3000, kShopping, every(0, 12)); }
inline SearchSetup w2Dense() { return workload(270, {1, 2, 3, 4, 5, 6, 7, 8}, every(0, 15)); }
inline SearchSetup w3Wide(std::int16_t last = 40) {
    const std::array<std::int32_t, 8> values = {3, 5, 7, 11, 13, 17, 19, 23};
    std::int32_t target = 0;
    for (std::size_t k = 0; k < 8; ++k)
        target += kWide[k] * values[k];
    return workload(target, kWide, every(0, last));
}
inline SearchSetup w4OverflowMidway() {
    SearchSetup setup = w1Shopping();
    setup.terms[7].weight = 100000000;
    setup.terms[7].last = 30;
    return setup;
}
inline SearchSetup w5ZeroWeight(std::int16_t first = -32768, std::int16_t last = 32767) {
    SearchSetup setup = w1Shopping();
    setup.terms[0].weight = 0;
    setup.terms[0].first = first;
    setup.terms[0].last = last;
    return setup;
}
inline SearchSetup w6Small() { return workload(200, {3, 5, 7, 11, 13, 17, 19, 23}, every(0, 9)); }
/// Counting only: over 10^13 solutions.
inline SearchSetup countHuge() { return workload(2200, {1, 2, 3, 4, 5, 6, 7, 8}, every(0, 120)); }

/// Listings whose first row must come at once: W3's weights over 0..47 with the target in the middle
/// of the sums (78,938,856 solutions), and eight terms 0..99 of weight 0 or of weights 1 -1 1 -1 ...
inline SearchSetup w7Streaming() {
    std::int32_t total = 0;
    for (std::int32_t w : kWide)
        total += w;
    return workload(static_cast<std::int32_t>(std::int64_t{total} * 47 / 2), kWide, every(0, 47));
}
inline SearchSetup allWeightsZero() { return workload(0, {}, every(0, 99)); }
inline SearchSetup alternatingWeights() { return workload(0, {1, -1, 1, -1, 1, -1, 1, -1}, every(0, 99)); }

// Hard families: setups that the range and gcd of the remainders do not narrow.

/// The weights in ascending order, or in descending order.
inline std::array<std::int32_t, 8> ordered(std::array<std::int32_t, 8> weights, bool descending) {
    std::sort(weights.begin(), weights.end());
    if (descending)
        std::reverse(weights.begin(), weights.end());
    return weights;
}

/// Hidden modulus: weights M * a_k + b_k with a_k in 1..9 and small b_k, values 0..R-1. The target
/// leaves the remainder M / 2 modulo M, which the sum of b_k * v_k (at most 59 * 80) never reaches: no
/// solution. With M = 800011 every sum stays below 2^31 for R up to 81.
inline SearchSetup hiddenModulus(std::int16_t values, bool descending, std::int32_t M = 800011) {
    constexpr std::array<std::int32_t, 8> a = {3, 1, 4, 1, 5, 9, 2, 6};
    constexpr std::array<std::int32_t, 8> b = {1, 2, 3, 5, 7, 11, 13, 17};
    std::array<std::int32_t, 8> weights{};
    for (std::size_t k = 0; k < 8; ++k)
        weights[k] = M * a[k] + b[k];
    const std::int32_t target = M * (31 * (values - 1) / 2) + M / 2; // 31 = the sum of a_k
    return workload(target, ordered(weights, descending), every(0, static_cast<std::int16_t>(values - 1)));
}

/// Random distinct weights between 10^6 and 5 * 10^6 (their sum times 80 stays below 2^31), values
/// 0..R-1, the target the sum of a combination near the middle of the ranges: millions of solutions.
inline SearchSetup randomWeights(std::int16_t values, bool descending) {
    constexpr std::array<std::int32_t, 8> weights = {2022947, 4860619, 1181947, 3051979,
                                                     2514251, 1529261, 4129147, 3497153};
    const std::array<std::int32_t, 8> middle = {40, 37, 44, 38, 42, 41, 36, 43};
    std::int32_t target = 0;
    for (std::size_t k = 0; k < 8; ++k) // values - 81 keeps the combination inside 0..R-1
        target += weights[k] * (middle[k] + (values - 81) / 2);
    return workload(target, ordered(weights, descending), every(0, static_cast<std::int16_t>(values - 1)));
}

/// The families at up to 256 values a term: the hidden modulus with the largest M that keeps every
/// sum inside 32 bits, and the random weights scaled down by 80 / (R - 1) for the same reason.
inline SearchSetup hiddenModulusWide(std::int16_t values, bool descending) {
    const auto M = static_cast<std::int32_t>(2000000000 / (31 * (values - 1) + 59 * (values - 1) / 1000 + 1)) | 1;
    return hiddenModulus(values, descending, M);
}
inline SearchSetup randomWeightsWide(std::int16_t values, bool descending) {
    std::array<std::int32_t, 8> weights = {2022947, 4860619, 1181947, 3051979, 2514251, 1529261, 4129147, 3497153};
    const std::array<std::int32_t, 8> middle = {40, 37, 44, 38, 42, 41, 36, 43};
    std::int32_t target = 0;
    for (std::size_t k = 0; k < 8; ++k) { // the same combination whatever the order
        weights[k] = static_cast<std::int32_t>(std::int64_t{weights[k]} * 80 / (values - 1));
        target += weights[k] * (middle[k] * (values - 1) / 80);
    }
    return workload(target, ordered(weights, descending), every(0, static_cast<std::int16_t>(values - 1)));
}

/// The two slowest listings that random searches found: random weights, values 0..80, several million
/// solutions (5,967,146 and 4,479,506).
inline SearchSetup worstListing(bool second) {
    if (second)
        return workload(629379317, {1444212, 1447182, 2033908, 2041290, 2233951, 2357027, 2857911, 2940130}, every(0, 80));
    return workload(537193971, {2236152, 2091233, 2053966, 2002799, 1753777, 1661644, 1130781, 1084888}, every(0, 80));
}

/// The hidden modulus with M = 1100009, ascending: each half stays below 2^31, but their addition
/// passes it once term 8 is large enough, and the run stops there with error 6, no solution found.
inline SearchSetup hiddenModulusOverflow() {
    SearchSetup setup = hiddenModulus(81, false, 1100009);
    setup.target = 1100009 * 400 + 1100009 / 2;
    return setup;
}

/// Number of combinations the reference engine evaluates (no overflow stop).
inline double combinations(const SearchSetup& setup) {
    double n = 1;
    for (const TermSpec& t : setup.terms)
        n *= t.first <= t.last ? double(t.last) - t.first + 1 : 0;
    return n;
}

} // namespace velmora::bench
