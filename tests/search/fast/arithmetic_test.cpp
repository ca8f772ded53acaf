// The fast engine's integer helpers at the exact limits of their operands.
#include "search/fast/arithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace velmora::fast {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t k62 = std::int64_t{1} << 62;

TEST(FastArithmetic, FloorCeilAndModRoundTowardsMinusInfinityAtEverySign) {
    struct Row {
        std::int64_t a, b, floor, ceil, mod; // mod only where b > 0
    };
    const Row rows[] = {
        {7, 2, 3, 4, 1},
        {-7, 2, -4, -3, 1},
        {7, -2, -4, -3, 0},
        {-7, -2, 3, 4, 0},
        {-8, 2, -4, -4, 0},
        {0, -5, 0, 0, 0},
        {-1, 5, -1, 0, 4},
        {-5, 5, -1, -1, 0},
        {kMax, 1, kMax, kMax, 0},
        {kMax, 2, k62 - 1, k62, 1},
        {kMax, -1, -kMax, -kMax, 0},
        {kMin + 1, 2, -k62, -k62 + 1, 1},
        {-1, kMax, -1, 0, kMax - 1},
        {1, kMin, -1, 0, 0},
        {kMax, kMin, -1, 0, 0},
        {kMin + 1, kMax, -1, -1, 0},
        {kMax - 1, kMax, 0, 1, kMax - 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.a << " / " << r.b);
        EXPECT_EQ(floorDiv(r.a, r.b), r.floor);
        EXPECT_EQ(ceilDiv(r.a, r.b), r.ceil);
        if (r.b > 0) {
            EXPECT_EQ(floorMod(r.a, r.b), r.mod);
        }
    }
    // The least operand, where ceilDiv's negation would overflow: floor only.
    EXPECT_EQ(floorDiv(kMin, 1), kMin);
    EXPECT_EQ(floorDiv(kMin, 2), -k62);
    EXPECT_EQ(floorDiv(kMin, kMax), -2);
    EXPECT_EQ(floorDiv(kMin, kMin), 1);
    EXPECT_EQ(floorMod(kMin, kMax), kMax - 1);
    EXPECT_EQ(floorMod(kMin, 2), 0);
}

TEST(FastArithmetic, InverseModIsTheInverseInZeroToModulus) {
    struct Row {
        std::int64_t a, m, inverse;
    };
    const Row rows[] = {
        {1, 2, 1},
        {3, 7, 5},
        {-3, 7, 2},
        {-1, 1000003, 1000002},
        {10, 7, 5},                    // a above the modulus
        {2, kMax, k62},                // 2 * 2^62 = kMax + 1
        {kMax - 1, kMax, kMax - 1},    // -1
        {2147483647, 2147483648, 2147483647},
        {-2147483647, 2147483648, 1},
        {kMin + 1, 2, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.a << "^-1 mod " << r.m);
        const std::int64_t x = inverseMod(r.a, r.m);
        EXPECT_EQ(x, r.inverse);
        const auto product = static_cast<__int128>(r.a) * x % r.m;
        EXPECT_EQ(product < 0 ? product + r.m : product, 1);
    }
}

TEST(FastArithmetic, ExactDivisorAcceptsTheLargestMultipleAndNothingBetweenMultiples) {
    struct Row {
        std::uint64_t divisor, n;
        bool divides;
    };
    const Row rows[] = {
        {1, 0, true},
        {1, kAll, true}, // the quotient is the largest 64-bit number itself
        {3, kAll, true}, // 2^64 - 1 = 3 * 5 * 17 * 257 * 641 * 65537 * 6700417
        {3, kAll - 1, false},
        {3, kAll - 3, true},
        {7, kAll - 1, true}, // 2^64 - 1 leaves 1 modulo 7
        {7, kAll, false},
        {7, kAll - 2, false},
        {6, kAll - 3, true},
        {6, kAll, false},
        {6, kAll - 6, false},
        {kAll, kAll, true},
        {kAll, kAll - 1, false},
        {kAll, 0, true},
        {0x7fffffff, 0x7fffffff * std::uint64_t{0x200000004}, true}, // the largest multiple
        {0x7fffffff, 0x7fffffff * std::uint64_t{0x200000004} + 1, false},
        {std::uint64_t{1} << 63, std::uint64_t{1} << 63, true},
        {std::uint64_t{1} << 63, std::uint64_t{1} << 62, false},
        {std::uint64_t{3} << 40, std::uint64_t{3} << 41, true},
        {std::uint64_t{3} << 40, std::uint64_t{3} << 39, false},
        {std::uint64_t{3} << 40, std::uint64_t{1} << 40, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.n << " / " << r.divisor);
        const ExactDivisor d(r.divisor);
        EXPECT_EQ(d.divides(r.n), r.divides);
        EXPECT_EQ(r.n % r.divisor == 0, r.divides) << "the row itself is wrong";
        if (r.divides) {
            EXPECT_EQ(d.divide(r.n), r.n / r.divisor);
        }
    }
}

} // namespace
} // namespace velmora::fast
