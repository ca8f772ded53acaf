#include "search/combination_search.h"
#include "search/run_time_error.h"
#include "tests/search/search_outcome.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace velmora {
namespace {

using testing_support::Outcome;

Outcome run(const SearchSetup& setup) { return testing_support::reference(setup); }

// A setup whose terms all have weight 0 and the range 0..0 except those set by the test.
SearchSetup setupWith(std::int32_t target) {
    SearchSetup setup;
    setup.target = target;
    return setup;
}

void setTerm(SearchSetup& setup, int k, std::int32_t weight, std::int16_t first, std::int16_t last) {
    setup.term(k).weight = weight;
    setup.term(k).first = first;
    setup.term(k).last = last;
}

Solution solution(std::int32_t sum, std::array<std::int16_t, 8> values) { return Solution{sum, values}; }

TEST(ReferenceSearch, AllZeroSetupHasOneSolution) {
    const Outcome outcome = run(SearchSetup{});
    EXPECT_FALSE(outcome.overflow);
    ASSERT_EQ(outcome.solutions.size(), 1u);
    EXPECT_EQ(outcome.solutions[0], solution(0, {0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ReferenceSearch, VisitsTermEightOutermostAndTermOneFastest) {
    SearchSetup setup = setupWith(3);
    setTerm(setup, 1, 1, 0, 3);
    setTerm(setup, 2, 1, 0, 3);
    setTerm(setup, 8, 1, 0, 1);
    const Outcome outcome = run(setup);
    EXPECT_FALSE(outcome.overflow);
    const std::vector<Solution> expected = {
        solution(3, {3, 0, 0, 0, 0, 0, 0, 0}), solution(3, {2, 1, 0, 0, 0, 0, 0, 0}),
        solution(3, {1, 2, 0, 0, 0, 0, 0, 0}), solution(3, {0, 3, 0, 0, 0, 0, 0, 0}),
        solution(3, {2, 0, 0, 0, 0, 0, 0, 1}), solution(3, {1, 1, 0, 0, 0, 0, 0, 1}),
        solution(3, {0, 2, 0, 0, 0, 0, 0, 1}),
    };
    EXPECT_EQ(outcome.solutions, expected);
}

TEST(ReferenceSearch, NegativeWeightsAndRanges) {
    SearchSetup setup = setupWith(-4);
    setTerm(setup, 1, -2, -3, 3);
    setTerm(setup, 5, 3, -2, 0);
    const Outcome outcome = run(setup);
    EXPECT_FALSE(outcome.overflow);
    // -2 a + 3 b = -4 with a in -3..3, b in -2..0: (2, 0) and (-1, -2), b ascending first.
    const std::vector<Solution> expected = {solution(-4, {-1, 0, 0, 0, -2, 0, 0, 0}),
                                            solution(-4, {2, 0, 0, 0, 0, 0, 0, 0})};
    EXPECT_EQ(outcome.solutions, expected);
}

TEST(ReferenceSearch, ZeroWeightRepeatsEachSolutionPerValue) {
    SearchSetup setup = setupWith(5);
    setTerm(setup, 1, 5, 0, 2);
    setTerm(setup, 3, 0, -1, 1);
    const Outcome outcome = run(setup);
    ASSERT_EQ(outcome.solutions.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(outcome.solutions[i].values[0], 1);
        EXPECT_EQ(outcome.solutions[i].values[2], static_cast<std::int16_t>(i) - 1);
    }
}

TEST(ReferenceSearch, EmptyRangeMeansNoCombinationAndNoOverflow) {
    for (int empty = 1; empty <= 8; ++empty) {
        SCOPED_TRACE(empty);
        SearchSetup setup = setupWith(0);
        for (int k = 1; k <= 8; ++k)
            setTerm(setup, k, INT_MAX, 1000, 2000); // every product would overflow
        setTerm(setup, empty, INT_MAX, 5, 1);
        const Outcome outcome = run(setup);
        EXPECT_FALSE(outcome.overflow);
        EXPECT_TRUE(outcome.solutions.empty());
    }
}

TEST(ReferenceSearch, UnreachableTargetEndsNormally) {
    SearchSetup setup = setupWith(7);
    setTerm(setup, 1, 2, -5, 5);
    setTerm(setup, 2, 4, -5, 5);
    const Outcome outcome = run(setup);
    EXPECT_FALSE(outcome.overflow);
    EXPECT_TRUE(outcome.solutions.empty());
}

TEST(ReferenceSearch, ProductOverflowStopsAfterEarlierSolutions) {
    // Term 8's product overflows at 22 (22 * 100000000 > 2^31 - 1); term 1 balances values 0..21.
    SearchSetup setup = setupWith(0);
    setTerm(setup, 8, 100000000, 0, 30);
    setTerm(setup, 1, -100000000, 0, 21);
    const Outcome outcome = run(setup);
    EXPECT_TRUE(outcome.overflow);
    ASSERT_EQ(outcome.solutions.size(), 22u);
    EXPECT_EQ(outcome.solutions.back(), solution(0, {21, 0, 0, 0, 0, 0, 0, 21}));
}

TEST(ReferenceSearch, ProductAtTheLimitsFitsAndOneBeyondOverflows) {
    SearchSetup fits = setupWith(INT_MIN);
    setTerm(fits, 1, 65536, -32768, -32768); // exactly -2^31
    EXPECT_FALSE(run(fits).overflow);
    EXPECT_EQ(run(fits).solutions.size(), 1u);

    SearchSetup over = setupWith(0);
    setTerm(over, 1, -65536, -32768, -32768); // +2^31
    EXPECT_TRUE(run(over).overflow);
}

// The sum is formed as second half + first half, each half grouped from its first term on; an
// intermediate value outside 32 bits is an overflow even when the whole sum would fit.
TEST(ReferenceSearch, EachAdditionOfTheGroupingIsChecked) {
    struct Case {
        const char* where;
        std::array<std::int32_t, 8> weights; // every value is 1
        bool overflows;
    };
    const int M = INT_MAX;
    const Case cases[] = {
        {"t1 + t2", {M, 1, -1, 0, 0, 0, 0, 0}, true},
        {"(t1 + t2) + t3", {M, 0, 1, -1, 0, 0, 0, 0}, true},
        {"(.. + t3) + t4", {M, 0, 0, 1, -1, 0, 0, 0}, true},
        {"t5 + t6", {-1, 0, 0, 0, M, 1, 0, 0}, true},
        {"(t5 + t6) + t7", {0, 0, 0, -1, M, 0, 1, 0}, true},
        {"(.. + t7) + t8", {0, 0, 0, -1, M, 0, 0, 1}, true},
        {"second + first", {1, 0, 0, 0, M, 0, 0, 0}, true},
        {"negative final", {-2, 0, 0, 0, -M, 0, 0, 0}, true},
        {"fits when the halves cancel", {M, 0, 0, 0, -M, 0, 0, 0}, false},
        {"fits when a half cancels first", {M, -1, 1, 0, 0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        SearchSetup setup = setupWith(0);
        for (int k = 1; k <= 8; ++k)
            setTerm(setup, k, c.weights[static_cast<std::size_t>(k - 1)], 1, 1);
        const Outcome outcome = run(setup);
        EXPECT_EQ(outcome.overflow, c.overflows);
    }
}

TEST(ReferenceSearch, RangeEndingAtTheLargestValueIsSearchedWhole) {
    SearchSetup setup = setupWith(0);
    setTerm(setup, 1, 0, 32760, 32767);
    setTerm(setup, 8, 0, 32766, 32767);
    const Outcome outcome = run(setup);
    EXPECT_FALSE(outcome.overflow);
    ASSERT_EQ(outcome.solutions.size(), 16u);
    EXPECT_EQ(outcome.solutions.back(), solution(0, {32767, 0, 0, 0, 0, 0, 0, 32767}));
}

TEST(ReferenceSearch, FullRangeIsSearchedFromTheSmallestValue) {
    SearchSetup setup = setupWith(-32768);
    setTerm(setup, 2, 1, -32768, 32767);
    const Outcome outcome = run(setup);
    EXPECT_FALSE(outcome.overflow);
    ASSERT_EQ(outcome.solutions.size(), 1u);
    EXPECT_EQ(outcome.solutions[0].values[1], -32768);
}

TEST(ReferenceSearch, ErrorFromTheSinkStopsTheRun) {
    class Full final : public SolutionSink {
    public:
        void accept(std::span<const Solution> solutions) override {
            m_seen += solutions.size();
            throw RunTimeError::outOfMemory();
        }
        std::size_t m_seen = 0;
    } sink;
    SearchSetup setup = setupWith(0);
    setTerm(setup, 1, 0, 0, 5000); // 5001 solutions, more than one batch
    try {
        referenceSearch(setup, sink);
        FAIL() << "expected error 7";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    EXPECT_GT(sink.m_seen, 0u);
    EXPECT_LT(sink.m_seen, 5001u);
}

TEST(RunTimeError, ReportNamesNumberAndDescription) {
    EXPECT_EQ(RunTimeError::overflow().report(), "実行時エラー 6: オーバーフローしました。");
    EXPECT_EQ(RunTimeError::outOfMemory().report(), "実行時エラー 7: メモリが不足しています。");
}

} // namespace
} // namespace velmora
