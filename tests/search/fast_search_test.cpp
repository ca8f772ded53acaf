// Differential and edge tests of the fast engine against the reference engine.
#include "search/fast_search.h"
#include "search/overflow_stop.h"
#include "search/result_text.h"
#include "search/run_time_error.h"
#include "tests/search/search_outcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr std::int32_t kMaxWeight = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinWeight = std::numeric_limits<std::int32_t>::min();

using testing_support::Outcome;
using testing_support::outcomeOf;
using testing_support::reference;

Outcome fast(const SearchSetup& setup, const FastSearchOptions& options = {}) {
    return outcomeOf([&](SolutionSink& sink) { fastSearch(setup, sink, options); });
}

// The setup in a form that can be pasted back into makeSetup() to replay a failure.
std::string describe(const SearchSetup& setup) {
    std::ostringstream text;
    text << "makeSetup(" << setup.target << ", {";
    for (const TermSpec& t : setup.terms)
        text << t.weight << (&t == &setup.terms.back() ? "" : ", ");
    text << "}, {";
    for (const TermSpec& t : setup.terms)
        text << "{" << t.first << ", " << t.last << "}" << (&t == &setup.terms.back() ? "" : ", ");
    text << "})";
    return text.str();
}

SearchSetup makeSetup(std::int32_t target, std::array<std::int32_t, 8> weights,
                      std::array<std::array<std::int32_t, 2>, 8> ranges) {
    SearchSetup setup;
    setup.target = target;
    for (std::size_t k = 0; k < 8; ++k) {
        setup.terms[k].weight = weights[k];
        setup.terms[k].first = static_cast<std::int16_t>(ranges[k][0]);
        setup.terms[k].last = static_cast<std::int16_t>(ranges[k][1]);
    }
    return setup;
}

std::string describe(const Solution& s) {
    std::ostringstream text;
    text << s.sum << ":";
    for (std::int16_t v : s.values)
        text << " " << v;
    return text.str();
}

// Compares two outcomes and reports the first difference, not thousands of lines.
::testing::AssertionResult sameOutcome(const Outcome& expected, const Outcome& actual) {
    if (expected.overflow != actual.overflow)
        return ::testing::AssertionFailure()
               << "overflow: expected " << expected.overflow << ", got " << actual.overflow;
    const std::size_t n = std::min(expected.solutions.size(), actual.solutions.size());
    for (std::size_t i = 0; i < n; ++i)
        if (!(expected.solutions[i] == actual.solutions[i]))
            return ::testing::AssertionFailure() << "solution " << i << ": expected "
                                                 << describe(expected.solutions[i]) << ", got "
                                                 << describe(actual.solutions[i]);
    if (expected.solutions.size() != actual.solutions.size())
        return ::testing::AssertionFailure() << "expected " << expected.solutions.size() << " solutions, got "
                                             << actual.solutions.size();
    return ::testing::AssertionSuccess();
}

// Every way of solving the inner terms, so that each is checked on every setup, whatever the cost
// estimate would choose.
// Forced tables are kept small so that thousands of cases stay quick; larger ones fall back.
constexpr double kTestTableLimit = 4096;

std::vector<FastSearchOptions> listingMethods() {
    std::vector<FastSearchOptions> methods = {{InnerMethod::Automatic, 4}, {InnerMethod::Recursion, 0}};
    for (int m = 1; m <= 4; ++m)
        methods.push_back({InnerMethod::SparseTable, m, kTestTableLimit, kTestTableLimit});
    // Terms of weight 0 that cannot keep what the terms below found, so they search again.
    methods.push_back({InnerMethod::Automatic, 4, kTestTableLimit, kTestTableLimit, 2});
    // Runs of table matches written with 16-byte stores, where the processor would take 64-byte ones.
    for (int m : {2, 4}) {
        FastSearchOptions narrow{InnerMethod::SparseTable, m, kTestTableLimit, kTestTableLimit};
        narrow.wideStores = false;
        methods.push_back(narrow);
    }
    // The join on two threads; on one, with so little memory that it takes the outer terms in chunks.
    FastSearchOptions join{InnerMethod::Join};
    methods.push_back(join);
    join.joinThreads = 1;
    join.joinMemory = 2048;
    methods.push_back(join);
    // The sweep over sorted sums, on two threads; on one, in chunks of a few solutions.
    FastSearchOptions sweep{InnerMethod::Sweep};
    methods.push_back(sweep);
    sweep.joinThreads = 1;
    sweep.joinChunkBytes = 8192;
    methods.push_back(sweep);
    // The recursion starts the box and a join takes the rest from where it stops; with too little
    // memory for the join, the recursion takes the rest.
    for (const InnerMethod method : {InnerMethod::Join, InnerMethod::Sweep})
        for (const int checks : {1, 5}) {
            FastSearchOptions head{method};
            head.headChecks = checks;
            methods.push_back(head);
        }
    FastSearchOptions starved{InnerMethod::Sweep};
    starved.headChecks = 2;
    starved.joinMemory = 64;
    methods.push_back(starved);
    return methods;
}

std::vector<FastSearchOptions> countingMethods() {
    std::vector<FastSearchOptions> methods = listingMethods();
    for (int m = 1; m <= 8; ++m)
        methods.push_back({InnerMethod::DenseTable, m, kTestTableLimit, kTestTableLimit});
    return methods;
}

std::string describe(const FastSearchOptions& options) {
    const char* names[] = {"automatic", "recursion", "sparse table", "dense table", "join", "sweep"};
    return std::string(names[static_cast<int>(options.method)]) + " " + std::to_string(options.tableTerms) +
           ", records up to " + std::to_string(options.maxRecordedSolutions) +
           (options.wideStores ? "" : ", 16-byte stores") + ", join memory " + std::to_string(options.joinMemory) + ", chunks of " + std::to_string(options.joinChunkBytes) +
           " on " + std::to_string(options.joinThreads) + " threads, head start " +
           std::to_string(options.headChecks);
}

// Checks every listing method and every counting method against the reference on one setup.
void checkAgainstReference(const SearchSetup& setup) {
    SCOPED_TRACE(describe(setup));
    const Outcome expected = reference(setup);
    for (const FastSearchOptions& options : listingMethods()) {
        SCOPED_TRACE(describe(options));
        EXPECT_TRUE(sameOutcome(expected, fast(setup, options)));
    }
    const SearchCount expectedCount{SolutionCount(expected.solutions.size()), expected.overflow};
    for (const FastSearchOptions& options : countingMethods()) {
        SCOPED_TRACE("count with " + describe(options));
        const SearchCount count = fastCount(setup, options);
        EXPECT_EQ(count.solutions.text(), expectedCount.solutions.text());
        EXPECT_EQ(count.overflow, expectedCount.overflow);
    }
}

// Random setups with few combinations (the reference must stay fast, also under sanitizers), built to
// meet every overflow site at varied points of the enumeration.
class SetupGenerator {
public:
    explicit SetupGenerator(std::uint64_t seed) : m_rng(seed) {}

    SearchSetup next(double maxCombinations) {
        SearchSetup setup;
        std::array<int, 8> order = {0, 1, 2, 3, 4, 5, 6, 7};
        std::shuffle(order.begin(), order.end(), m_rng);
        if (chance(60)) // a wild outer term puts the stop deep into the run, after many combinations
            std::swap(order[0], *std::find(order.begin(), order.end(), static_cast<int>(uniform(5, 7))));
        double budget = maxCombinations;
        // Most setups have one or two terms whose products come near the limit, so that the stop falls
        // at varied points after some solutions; the rest are tame or anything at all.
        const int profile = static_cast<int>(uniform(0, 9));
        const int wild = profile < 3 ? 0 : profile < 9 ? static_cast<int>(uniform(1, 2)) : 8;
        for (int i = 0; i < 8; ++i) {
            TermSpec& term = setup.terms[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
            makeRange(term, budget);
            if (term.first <= term.last)
                budget /= double(term.last) - term.first + 1;
            term.weight = i < wild ? makeWildWeight(term) : makeTameWeight(term);
        }
        setup.target = makeTarget(setup);
        return setup;
    }

private:
    std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(m_rng);
    }
    bool chance(int percent) { return uniform(1, 100) <= percent; }

    void makeRange(TermSpec& term, double budget) {
        if (chance(3)) { // empty: no combination at all, whatever the weights
            const std::int64_t first = uniform(-32767, 32767);
            term.first = static_cast<std::int16_t>(first);
            term.last = static_cast<std::int16_t>(first - uniform(1, 3));
            return;
        }
        std::int64_t size = 1;
        const std::int64_t cap = std::max<std::int64_t>(1, static_cast<std::int64_t>(budget));
        switch (uniform(0, 3)) {
        case 0: size = 1; break;
        case 1: size = uniform(1, 3); break;
        case 2: size = uniform(1, 8); break;
        default: size = uniform(1, 64); break;
        }
        size = std::min(size, cap);
        std::int64_t first = 0;
        switch (uniform(0, 5)) {
        case 0: first = 32767 - size + 1; break; // touches the top
        case 1: first = -32768; break;           // touches the bottom
        case 2: first = uniform(-32768, 32767 - size + 1); break;
        default: first = uniform(-4, 4); break;
        }
        term.first = static_cast<std::int16_t>(first);
        term.last = static_cast<std::int16_t>(first + size - 1);
    }

    // Weights whose products stay far from the limit, even eight of them added together.
    std::int32_t makeTameWeight(const TermSpec& term) {
        const std::int64_t bound = (std::int64_t{1} << 28) / magnitude(term);
        switch (uniform(0, 4)) {
        case 0: return 0;
        case 1: return static_cast<std::int32_t>(uniform(-std::min<std::int64_t>(bound, 100000), std::min<std::int64_t>(bound, 100000)));
        default: return static_cast<std::int32_t>(uniform(-std::min<std::int64_t>(bound, 6), std::min<std::int64_t>(bound, 6)));
        }
    }

    static std::int64_t magnitude(const TermSpec& term) {
        return std::max<std::int64_t>({1, std::abs(std::int64_t{term.first}), std::abs(std::int64_t{term.last})});
    }

    std::int32_t makeWildWeight(TermSpec& term) {
        std::int64_t w = 0;
        switch (uniform(0, 4)) {
        case 0: case 1: { // the product first leaves the 32-bit range at a value inside the range
            if (term.first < 0 && term.first <= term.last && term.last - term.first < 64) {
                const std::int16_t shift = static_cast<std::int16_t>(uniform(0, 3) - term.first);
                term.first = static_cast<std::int16_t>(term.first + shift);
                term.last = static_cast<std::int16_t>(term.last + shift);
            }
            const std::int64_t stop = std::max<std::int64_t>(1, uniform(term.first, std::max<std::int64_t>(term.last, 1)));
            w = (std::int64_t{1} << 31) / stop + uniform(-1, 1);
            w = chance(50) ? w : -w;
            break;
        }
        case 2: w = (chance(50) ? kMaxWeight : kMinWeight) + (chance(50) ? 0 : uniform(-3, 3)); break;
        case 3: w = (chance(50) ? 1 : -1) * (std::int64_t{1} << uniform(20, 30)) + uniform(-2, 2); break;
        default: w = uniform(kMinWeight, kMaxWeight); break;
        }
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(w, kMinWeight, kMaxWeight));
    }

    std::int32_t makeTarget(const SearchSetup& setup) {
        if (chance(60)) { // the sum of a random combination, often an early one, so that it comes before a stop
            const bool early = chance(70);
            std::int64_t sum = 0;
            for (const TermSpec& t : setup.terms) {
                const std::int64_t last = early ? std::min<std::int64_t>(t.last, t.first + 1) : t.last;
                sum += std::int64_t{t.weight} * (t.first <= t.last ? uniform(t.first, last) : t.first);
            }
            if (sum >= kMinWeight && sum <= kMaxWeight)
                return static_cast<std::int32_t>(sum);
        }
        if (chance(30))
            return 0;
        return static_cast<std::int32_t>(chance(50) ? uniform(-20, 20) : uniform(kMinWeight, kMaxWeight));
    }

    std::mt19937_64 m_rng;
};

TEST(FastSearchDifferential, RandomSmallSetupsMatchTheReference) {
    SetupGenerator generator(20261207);
    int overflowed = 0, solved = 0, solvedThenStopped = 0;
    for (int i = 0; i < 4000; ++i) {
        const SearchSetup setup = generator.next(600);
        checkAgainstReference(setup);
        const Outcome outcome = reference(setup);
        overflowed += outcome.overflow;
        solved += !outcome.solutions.empty();
        solvedThenStopped += outcome.overflow && !outcome.solutions.empty();
        if (HasFailure())
            return; // one replayable setup is enough
    }
    // The generator must keep reaching every kind of ending, or the comparison proves little.
    EXPECT_GT(overflowed, 400);
    EXPECT_GT(solved, 400);
    EXPECT_GT(solvedThenStopped, 100) << overflowed << " stopped, " << solved << " solved";
}

TEST(FastSearchDifferential, RandomLargerSetupsMatchTheReference) {
    SetupGenerator generator(7);
    for (int i = 0; i < 200; ++i) {
        checkAgainstReference(generator.next(200000));
        if (HasFailure())
            return;
    }
}

// The joins where the random setups seldom take them: rows of thousands of solutions, so that a
// listing under a small memory limit goes in chunks; one thread and two; a term of weight 0, negative
// weights, and a stop midway.
TEST(FastSearchDifferential, JoinsInChunksMatchTheReference) {
    const SearchSetup setups[] = {
        makeSetup(100, {3, 5, 7, 11, 13, 17, 19, 23}, {{{0, 5}, {0, 5}, {0, 5}, {0, 5}, {0, 5}, {0, 5}, {0, 5}, {0, 5}}}),
        makeSetup(-20, {-3, 0, 7, -11, 13, 5, -19, 23},
                  {{{-3, 3}, {0, 3}, {-2, 4}, {-3, 3}, {0, 5}, {-4, 2}, {-3, 3}, {0, 5}}}),
        makeSetup(2000, {1, 2, 3, 4, 5, 6, 400000000, 7},
                  {{{0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 9}, {0, 7}}}),
    };
    for (const SearchSetup& setup : setups) {
        SCOPED_TRACE(describe(setup));
        const Outcome expected = reference(setup);
        for (const InnerMethod method : {InnerMethod::Join, InnerMethod::Sweep})
            for (const std::size_t memory : {std::size_t{12000}, std::size_t{20000}, std::size_t{30000}, std::size_t{0}})
                for (const int threads : {1, 2}) {
                    FastSearchOptions options{method};
                    (method == InnerMethod::Sweep ? options.joinChunkBytes : options.joinMemory) = memory;
                    options.joinThreads = threads;
                    SCOPED_TRACE(describe(options));
                    EXPECT_TRUE(sameOutcome(expected, fast(setup, options)));
                    EXPECT_EQ(fastCount(setup, options).solutions, SolutionCount(expected.solutions.size()));
                }
    }
}

// Small weights over small ranges: many solutions per setup, so the order within tables and
// progressions is checked on long listings.
TEST(FastSearchDifferential, DenseSetupsMatchTheReference) {
    std::mt19937_64 rng(99);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 300; ++i) {
        SearchSetup setup;
        for (TermSpec& t : setup.terms) {
            t.weight = pick(-4, 4);
            t.first = static_cast<std::int16_t>(pick(-3, 2));
            t.last = static_cast<std::int16_t>(t.first + pick(0, 2));
        }
        setup.target = pick(-6, 6);
        checkAgainstReference(setup);
        if (HasFailure())
            return;
    }
}

// Two active terms at a few positions, every pair of weights and ranges from small sets around the
// limits, and a handful of targets: the progressions and the overflow sites meet their edges here.
TEST(FastSearchExhaustive, TwoTermsOverEdgeWeightsAndRanges) {
    const std::int32_t weights[] = {0, 1, -1, 3, -2, 65537, -65536, 1073741824, -1073741825, kMaxWeight, kMinWeight};
    const std::array<std::int32_t, 2> ranges[] = {{-1, 1}, {0, 0}, {1, 0}, {32765, 32767}, {-32768, -32766}, {-2, 3}};
    const std::array<int, 2> positions[] = {{0, 1}, {3, 4}, {0, 4}, {7, 0}, {5, 6}};
    for (const auto& at : positions)
        for (std::int32_t w0 : weights)
            for (std::int32_t w1 : weights)
                for (const auto& r0 : ranges)
                    for (const auto& r1 : ranges) {
                        SearchSetup setup;
                        TermSpec& a = setup.terms[static_cast<std::size_t>(at[0])];
                        TermSpec& b = setup.terms[static_cast<std::size_t>(at[1])];
                        a = {w0, static_cast<std::int16_t>(r0[0]), static_cast<std::int16_t>(r0[1]), ""};
                        b = {w1, static_cast<std::int16_t>(r1[0]), static_cast<std::int16_t>(r1[1]), ""};
                        for (std::int32_t target : {0, 1, -2, static_cast<std::int32_t>(std::clamp<std::int64_t>(3ll * w0, kMinWeight, kMaxWeight)), kMaxWeight}) {
                            setup.target = target;
                            SCOPED_TRACE(describe(setup));
                            const Outcome expected = reference(setup);
                            EXPECT_TRUE(sameOutcome(expected, fast(setup)));
                            EXPECT_TRUE(sameOutcome(expected, fast(setup, {InnerMethod::SparseTable, 2})));
                            EXPECT_EQ(fastCount(setup).solutions, SolutionCount(expected.solutions.size()));
                            if (HasFailure())
                                return;
                        }
                    }
}

// The stop finder against a plain scan over every combination, on random small boxes.
TEST(FirstOverflow, MatchesAScanInEnumerationOrder) {
    SetupGenerator generator(4242);
    for (int i = 0; i < 3000; ++i) {
        const SearchSetup setup = generator.next(300);
        SCOPED_TRACE(describe(setup));
        std::optional<Combination> expected;
        bool empty = false;
        for (const TermSpec& t : setup.terms)
            empty = empty || t.first > t.last;
        if (!empty) {
            Combination v{};
            for (std::size_t k = 0; k < 8; ++k)
                v[k] = setup.terms[k].first;
            for (bool more = true; more && !expected;) {
                if (overflows(setup, v))
                    expected = v;
                std::size_t k = 0;
                for (; k < 8 && v[k] == setup.terms[k].last; ++k)
                    v[k] = setup.terms[k].first;
                if (k == 8)
                    more = false;
                else
                    ++v[k];
            }
        }
        ASSERT_EQ(firstOverflow(setup), expected);
    }
}

TEST(FirstOverflow, FindsTheStopDeepInFullRanges) {
    // Term 1 (over -1..32767) alone overflows at its value 2 (2 * 2^30); the other terms span the full
    // 16-bit range, so the stop is terms 8..2 at -32768 and term 1 at 2.
    SearchSetup setup;
    for (TermSpec& t : setup.terms) {
        t.first = -32768;
        t.last = 32767;
    }
    setup.terms[0].first = -1;
    setup.terms[0].weight = 1 << 30;
    Combination stop{};
    stop.fill(-32768);
    stop[0] = 2;
    EXPECT_EQ(firstOverflow(setup), stop);
}

TEST(FastSearch, HalvesAreGroupedAsTheReferenceGroupsThem) {
    // First half 2000000000, second half 0: fits although term 1 + term 5 would not.
    const SearchSetup fits = makeSetup(2000000000, {2000000000, 0, 0, 0, 2000000000, -2000000000, 0, 0},
                                       {{{1, 1}, {0, 0}, {0, 0}, {0, 0}, {1, 1}, {1, 1}, {0, 0}, {0, 0}}});
    const Outcome ok = fast(fits);
    EXPECT_FALSE(ok.overflow);
    ASSERT_EQ(ok.solutions.size(), 1u);
    // The second half overflows at t5 + t6 although the whole sum would fit.
    const SearchSetup breaks = makeSetup(2000000000, {-2000000000, 0, 0, 0, 2000000000, 2000000000, 0, 0},
                                         {{{1, 1}, {0, 0}, {0, 0}, {0, 0}, {1, 1}, {1, 1}, {0, 0}, {0, 0}}});
    EXPECT_TRUE(fast(breaks).overflow);
    EXPECT_TRUE(fastCount(breaks).overflow);
}

TEST(FastSearch, EmptyRangeMeansNoCombinationAndNoOverflow) {
    SearchSetup setup = makeSetup(0, {kMaxWeight, kMaxWeight, 0, 0, 0, 0, 0, 0},
                                  {{{32767, 32767}, {32767, 32767}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {5, 4}, {0, 0}}});
    const Outcome outcome = fast(setup);
    EXPECT_FALSE(outcome.overflow);
    EXPECT_TRUE(outcome.solutions.empty());
    EXPECT_EQ(fastCount(setup), SearchCount{});
}

TEST(FastSearch, RangeEndingAt32767IsSearchedWhole) {
    SearchSetup setup = makeSetup(0, {0, 0, 0, 0, 0, 0, 0, 0},
                                  {{{32765, 32767}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {32766, 32767}}});
    const Outcome outcome = fast(setup);
    EXPECT_FALSE(outcome.overflow);
    EXPECT_TRUE(sameOutcome(reference(setup), outcome));
    EXPECT_EQ(outcome.solutions.size(), 6u);
}

TEST(FastSearch, ZeroWeightTermRepeatsEachSolutionInOrder) {
    // Term 3 of weight 0 over 5 values sits between terms that decide the sum.
    const SearchSetup setup = makeSetup(10, {5, 2, 0, 0, 0, 0, 0, 1},
                                        {{{0, 2}, {0, 5}, {-2, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 10}}});
    const Outcome outcome = fast(setup);
    EXPECT_TRUE(sameOutcome(reference(setup), outcome));
    EXPECT_EQ(fastCount(setup).solutions, SolutionCount(outcome.solutions.size()));
}

TEST(FastSearch, ZeroWeightTermRepeatsSolutionsAcrossManyBlocks) {
    // Term 5 (weight 0) repeats thousands of solutions of terms 1..4 for each of its values, and each
    // pass starts part-way through a block of solutions handed to the sink.
    const SearchSetup setup = makeSetup(30, {1, 1, 1, 1, 0, 0, 0, 1},
                                        {{{0, 15}, {0, 15}, {0, 15}, {0, 15}, {-1, 1}, {0, 0}, {0, 0}, {0, 2}}});
    const Outcome expected = reference(setup);
    ASSERT_GT(expected.solutions.size(), 6000u);
    for (std::size_t records : {std::size_t{1} << 20, std::size_t{700}, std::size_t{0}}) {
        FastSearchOptions options;
        options.maxRecordedSolutions = records;
        SCOPED_TRACE(records);
        EXPECT_TRUE(sameOutcome(expected, fast(setup, options)));
    }
}

TEST(FastSearch, SweepGroupsLongerThanABlockKeepEveryRow) {
    // Four terms of weight 0 over ten values: 10,000 combinations of one key, a group that crosses
    // the ends of the blocks the listing hands on (4,096 rows) when those terms are the inner side, and
    // 10,000 outer combinations of one key when they are the outer side.
    const std::array<std::int32_t, 2> small{0, 3}, wide{0, 9};
    for (const bool innerZero : {true, false}) {
        const SearchSetup setup =
            innerZero ? makeSetup(6, {1, 1, 1, 1, 0, 0, 0, 0}, {{small, small, small, small, wide, wide, wide, wide}})
                      : makeSetup(6, {0, 0, 0, 0, 1, 1, 1, 1}, {{wide, wide, wide, wide, small, small, small, small}});
        const Outcome expected = reference(setup);
        ASSERT_EQ(expected.solutions.size(), 440000u);
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(std::string(innerZero ? "terms 5..8" : "terms 1..4") + " of weight 0, " +
                         std::to_string(threads) + " threads");
            FastSearchOptions sweep{InnerMethod::Sweep};
            sweep.headChecks = -1;
            sweep.joinThreads = threads;
            EXPECT_TRUE(sameOutcome(expected, fast(setup, sweep)));
        }
    }
}

TEST(FastSearch, TableRunsLongerThanABlockKeepEveryRecord) {
    // Each look-up of the table of terms 1..4 (512 KB, so its look-ups are prefetched) hands on a run
    // of up to 2,000 solutions, written sixteen (or four) at a time: runs cross the ends of blocks and
    // start at every offset within a group.
    // With the table of terms 1..2 or 1..3, the values of the outer low terms (one negative) are
    // merged into every record of a run.
    const SearchSetup setup = makeSetup(30, {1, 1, 1, 1, 1, 0, 0, 0},
                                        {{{0, 15}, {-3, 12}, {0, 15}, {0, 15}, {0, 6}, {0, 0}, {0, 0}, {0, 0}}});
    const Outcome expected = reference(setup);
    ASSERT_GT(expected.solutions.size(), 10000u);
    for (int terms = 2; terms <= 4; ++terms) {
        for (bool wide : {true, false}) {
            SCOPED_TRACE(std::to_string(terms) + (wide ? " terms, wide stores" : " terms, 16-byte stores"));
            FastSearchOptions options{InnerMethod::SparseTable, terms, 1e6, 1e6};
            options.wideStores = wide;
            EXPECT_TRUE(sameOutcome(expected, fast(setup, options)));
        }
    }
}

TEST(FastSearch, LargeHashedTableKeepsEnumerationOrder) {
    // 23^4 inner combinations of large weights: a hashed table big enough to be sorted in partitions,
    // with several inner combinations for many sums, looked up for each of 9 outer combinations.
    const SearchSetup setup = makeSetup(100003 * 3 + 200017 * 5 + 300007 * 7 + 400009 * 11 + 500009 * 1 + 600011 * 2,
                                        {100003, 200017, 300007, 400009, 500009, 600011, 0, 0},
                                        {{{0, 22}, {0, 22}, {0, 22}, {0, 22}, {0, 2}, {0, 2}, {0, 0}, {0, 0}}});
    const Outcome expected = reference(setup);
    ASSERT_GT(expected.solutions.size(), 50u);
    const FastSearchOptions table{InnerMethod::SparseTable, 4, 1e7, 1e7};
    EXPECT_TRUE(sameOutcome(expected, fast(setup, table)));
    EXPECT_EQ(fastCount(setup, table).solutions, SolutionCount(expected.solutions.size()));
}

TEST(FastSearch, LargeHashedTableOfNegativeWeightsAndBounds) {
    // 23^4 inner combinations over -11..11 with weights of both signs near multiples of 10^6: keys span
    // about 2^27, so the table is sorted in partitions with tags of more than eleven bits (two passes),
    // and values below zero must come back lane by lane. The other term sets decide how many look-ups
    // find a key: some sums occur for several inner combinations, most for none.
    const std::array<std::int32_t, 8> weights = {1000003, -2000017, 3000007, -4000009, 1, 1000033, 0, 0};
    const std::array<std::array<std::int32_t, 2>, 8> ranges = {
        {{-11, 11}, {-11, 11}, {-11, 11}, {-11, 11}, {0, 2}, {-1, 1}, {0, 0}, {0, 0}}};
    const std::int32_t target = 1000003 * -7 - 2000017 * 3 + 3000007 * 11 - 4000009 * -2 + 1 + 1000033 * -1;
    const SearchSetup setup = makeSetup(target, weights, ranges);
    const Outcome expected = reference(setup);
    ASSERT_GT(expected.solutions.size(), 1u);
    const FastSearchOptions table{InnerMethod::SparseTable, 4, 1e7, 1e7};
    EXPECT_TRUE(sameOutcome(expected, fast(setup, table)));
    EXPECT_EQ(fastCount(setup, table).solutions, SolutionCount(expected.solutions.size()));
    // Tables of fewer terms leave the unused fields of an entry empty.
    for (int terms = 1; terms <= 3; ++terms) {
        SCOPED_TRACE(terms);
        EXPECT_TRUE(sameOutcome(expected, fast(setup, {InnerMethod::SparseTable, terms, 1e7, 1e7})));
    }
}

TEST(FastSearch, HashedBucketKeepsApartKeysThatDifferByAMultipleOf2048) {
    // Sums 2048 apart share the low eleven bits of their hash (an odd multiple of the key modulo 2^12),
    // and this small table puts every key in one bucket. The entries of sums 0 and 2048 alternate in
    // enumeration order, so each sum's entries are one run only once the tags are sorted in full.
    SearchSetup setup = makeSetup(0, {2048, 1, -1, 0, 0, 0, 0, 0},
                                  {{{0, 1}, {0, 1}, {0, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}});
    for (std::int32_t target : {0, 2048, 2049, -1}) {
        setup.target = target;
        SCOPED_TRACE(target);
        const Outcome expected = reference(setup);
        EXPECT_TRUE(sameOutcome(expected, fast(setup, {InnerMethod::SparseTable, 3})));
        EXPECT_EQ(fastCount(setup, {InnerMethod::SparseTable, 3}).solutions, SolutionCount(expected.solutions.size()));
    }
}

TEST(FastSearch, SolutionsBeforeAStopMidwayAreHandedOn) {
    // Term 8's product overflows at its value 22: the listing stops right after value 21's solutions.
    SearchSetup setup = makeSetup(3000, {98, 128, 158, 198, 248, 298, 398, 100000000},
                                  {{{0, 3}, {0, 3}, {0, 3}, {0, 3}, {0, 3}, {0, 3}, {0, 3}, {0, 30}}});
    setup.target = 128 * 3 + 100000000 * 21;
    const Outcome expected = reference(setup);
    ASSERT_TRUE(expected.overflow);
    ASSERT_FALSE(expected.solutions.empty());
    EXPECT_EQ(expected.solutions.back().values[7], 21);
    EXPECT_TRUE(sameOutcome(expected, fast(setup)));
    EXPECT_EQ(fastCount(setup), (SearchCount{SolutionCount(expected.solutions.size()), true}));
}

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif

TEST(FastSearch, TableTooLargeToAllocateFallsBackToTheRecursion) {
#ifdef VELMORA_ASAN
    GTEST_SKIP() << "the sanitizer's allocator aborts on a 16 TB request instead of failing it";
#else
    // Forced with its cap lifted, a table of 2^40 inner combinations cannot be allocated.
    const SearchSetup setup = makeSetup(1000 * 500 + 1001 * 7 + 1002 * 900 + 1003 * 3, {1000, 1001, 1002, 1003, 0, 0, 0, 0},
                                        {{{0, 1023}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}});
    FastSearchOptions huge{InnerMethod::SparseTable, 4, 1e15, 1e15};
    const Outcome expected = fast(setup, {InnerMethod::Recursion, 0});
    ASSERT_FALSE(expected.solutions.empty());
    EXPECT_TRUE(sameOutcome(expected, fast(setup, huge)));
    EXPECT_EQ(fastCount(setup, huge).solutions, SolutionCount(expected.solutions.size()));
#endif
}

// A sink's error reaches the caller at once, whichever way the engine lists, also when the join's
// second thread is making solutions meanwhile, or while the sweep counts before its listing (where
// the sink hears only of pauses); what came before it is the reference's beginning.
TEST(FastSearch, SinkErrorStopsTheRun) {
    struct ReaderGone {};
    class Refusing final : public SolutionSink {
    public:
        Refusing(std::size_t limit, std::size_t pauses) : m_limit(limit), m_pauses(pauses) {}
        void accept(std::span<const Solution> solutions) override {
            if (taken.size() + solutions.size() > m_limit)
                throw RunTimeError::outOfMemory();
            taken.insert(taken.end(), solutions.begin(), solutions.end());
        }
        void idle() override {
            if (++idles > m_pauses)
                throw ReaderGone{};
        }
        std::vector<Solution> taken;
        std::size_t idles = 0;

    private:
        std::size_t m_limit;
        std::size_t m_pauses;
    };
    const SearchSetup trivial = makeSetup(0, {}, {});
    const SearchSetup many = makeSetup(300, {3, 5, 7, 11, 13, 17, 19, 23}, {{{0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}}});
    const Outcome expected = reference(many);
    ASSERT_GT(expected.solutions.size(), 60000u);
    FastSearchOptions sweep{InnerMethod::Sweep}, join{InnerMethod::Join};
    sweep.headChecks = join.headChecks = -1;
    FastSearchOptions sweepAlone = sweep;
    sweepAlone.joinThreads = 1;
    constexpr std::size_t kAll = ~std::size_t{0};
    const struct {
        const SearchSetup& setup;
        FastSearchOptions options;
        std::size_t limit;  // solutions taken before the error
        std::size_t pauses; // pauses before the error; the first is before the join prepares
    } rows[] = {
        {trivial, {}, 0, kAll},
        {many, sweep, 0, kAll},
        {many, sweep, 1, kAll},
        {many, sweep, 30000, kAll}, // within the listing, while both threads make solutions
        {many, join, 30000, kAll},
        {many, {}, 40000, kAll},
        {many, sweep, kAll, 1}, // within the count before the listing, both threads counting
        {many, sweepAlone, kAll, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(describe(row.options) + ", error after " + std::to_string(row.limit) + " rows, " +
                     std::to_string(row.pauses) + " pauses");
        Refusing sink(row.limit, row.pauses);
        try {
            fastSearch(row.setup, sink, row.options);
            FAIL() << "the sink's error must reach the caller";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.number(), 7);
            EXPECT_EQ(row.pauses, kAll);
        } catch (const ReaderGone&) {
            EXPECT_EQ(sink.idles, row.pauses + 1);
            EXPECT_TRUE(sink.taken.empty()) << "the error comes before the listing";
        }
        ASSERT_LE(sink.taken.size(), row.limit);
        if (&row.setup == &many) {
            EXPECT_TRUE(std::equal(sink.taken.begin(), sink.taken.end(), expected.solutions.begin()));
        }
    }
}

// Before the join prepares, and between its chunks, the rows found so far reach the reader: the
// sink is told the run is idle, and the writer hands on every row it holds.
TEST(FastSearch, RowsFoundReachTheReaderBeforeEachPause) {
    class Lines final : public ByteSink {
    public:
        void write(std::string_view bytes) override { lines += std::count(bytes.begin(), bytes.end(), '\n'); }
        void idle() override { ++idles; } // where the output can tell that its reader has gone
        std::size_t lines = 0;
        std::size_t idles = 0;
    };
    class Watching final : public SolutionSink {
    public:
        void accept(std::span<const Solution> solutions) override {
            accepted += solutions.size();
            writer.accept(solutions);
        }
        void idle() override {
            writer.idle();
            pauses.push_back({accepted, out.lines});
        }
        Lines out;
        RowWriter writer{out, RowFormat::Tabs};
        std::size_t accepted = 0;
        std::vector<std::pair<std::size_t, std::size_t>> pauses; // rows accepted, rows written
    };
    const SearchSetup setup = makeSetup(300, {3, 5, 7, 11, 13, 17, 19, 23}, {{{0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}, {0, 7}}});
    FastSearchOptions sweep{InnerMethod::Sweep};
    sweep.headChecks = 1;
    sweep.joinChunkBytes = 1 << 16;
    FastSearchOptions join{InnerMethod::Join};
    join.headChecks = 1;
    join.joinMemory = 1 << 14;
    const std::size_t total = fast(setup).solutions.size();
    for (const FastSearchOptions& options : {sweep, join}) {
        SCOPED_TRACE(describe(options));
        Watching sink;
        fastSearch(setup, sink, options);
        sink.writer.flush();
        EXPECT_EQ(sink.accepted, total);
        ASSERT_GE(sink.pauses.size(), 3u) << "a pause after the head start and between chunks";
        for (const auto& [accepted, written] : sink.pauses) {
            EXPECT_EQ(written, accepted);
            EXPECT_LT(accepted, total);
        }
        EXPECT_GT(sink.pauses.back().first, sink.pauses.front().first);
        EXPECT_EQ(sink.out.idles, sink.pauses.size());
    }
}

TEST(FastCount, AllWeightsZeroOverFullRangesIsTwoToThe128) {
    SearchSetup setup;
    for (TermSpec& t : setup.terms) {
        t.first = -32768;
        t.last = 32767;
    }
    const SearchCount count = countSolutions(setup);
    EXPECT_FALSE(count.overflow);
    EXPECT_EQ(count.solutions.text(), "340282366920938463463374607431768211456");
    setup.target = 1;
    EXPECT_EQ(countSolutions(setup).solutions.text(), "0");
}

TEST(FastCount, LargeCountMatchesADynamicProgram) {
    // Eight terms 0..120 with weights 1..8: count for target 2200 by a plain table over sums.
    SearchSetup setup;
    setup.target = 2200;
    for (int k = 0; k < 8; ++k)
        setup.terms[static_cast<std::size_t>(k)] = {k + 1, 0, 120, ""};
    std::vector<unsigned __int128> ways(2201, 0);
    ways[0] = 1;
    for (int w = 1; w <= 8; ++w) {
        std::vector<unsigned __int128> next(ways.size(), 0);
        for (std::size_t s = 0; s < ways.size(); ++s)
            for (int v = 0; v <= 120 && s + std::size_t(w * v) < ways.size(); ++v)
                next[s + std::size_t(w * v)] += ways[s];
        ways.swap(next);
    }
    EXPECT_EQ(countSolutions(setup).solutions, SolutionCount(ways[2200]));
}

TEST(FastCount, CountsBeyond64BitsPerSumAreExact) {
    // Eight terms of weight 1 over 0..1000: about 10^20 combinations for each sum near the middle, more
    // than 64 bits hold, whichever way the count is taken.
    SearchSetup setup;
    setup.target = 4000;
    for (TermSpec& t : setup.terms)
        t = {1, 0, 1000, ""};
    std::vector<unsigned __int128> ways(1, 1);
    for (int k = 0; k < 8; ++k) { // add one term: a sliding window of 1001 sums
        std::vector<unsigned __int128> next(ways.size() + 1000, 0);
        unsigned __int128 window = 0;
        for (std::size_t s = 0; s < next.size(); ++s) {
            if (s < ways.size())
                window += ways[s];
            if (s >= 1001)
                window -= ways[s - 1001];
            next[s] = window;
        }
        ways.swap(next);
    }
    ASSERT_GT(ways[4000] >> 64, 0u);
    // Tables of six or more terms leave few outer combinations; fewer terms would take too long.
    for (const FastSearchOptions& options : {FastSearchOptions{InnerMethod::Automatic, 4},
                                            FastSearchOptions{InnerMethod::DenseTable, 6},
                                            FastSearchOptions{InnerMethod::DenseTable, 8}}) {
        SCOPED_TRACE(describe(options));
        EXPECT_EQ(fastCount(setup, options).solutions, SolutionCount(ways[4000]));
    }
}

TEST(SolutionCount, ArithmeticAndTextAtTheEdges) {
    EXPECT_EQ(SolutionCount().text(), "0");
    EXPECT_EQ(SolutionCount(1000000000000000000u).text(), "1000000000000000000");
    EXPECT_EQ(SolutionCount(999999999999999999u).text(), "999999999999999999");
    const unsigned __int128 max128 = ~static_cast<unsigned __int128>(0);
    EXPECT_EQ(SolutionCount(max128).text(), "340282366920938463463374607431768211455");
    EXPECT_EQ((SolutionCount(max128) + SolutionCount(1)).text(), "340282366920938463463374607431768211456");
    SolutionCount power(1);
    for (int i = 0; i < 8; ++i)
        power *= 65536;
    EXPECT_EQ(power, SolutionCount(max128) + SolutionCount(1));
    EXPECT_EQ((SolutionCount(1) * 0).text(), "0");
    EXPECT_EQ(SolutionCount(std::uint64_t{1} << 63) * SolutionCount(std::uint64_t{1} << 63) * SolutionCount(4), power);
    EXPECT_EQ((SolutionCount(max128) * SolutionCount(3)).text(), "1020847100762815390390123822295304634365");
}

} // namespace
} // namespace velmora
