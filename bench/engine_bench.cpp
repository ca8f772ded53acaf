// The engines alone, handing solutions to a sink that does nothing. Each benchmark reports the
// solutions per run and the time per solution; the reference runs where it finishes within a minute,
// and on smaller instances of W3 and W5 to give its rate per combination for extrapolation.
// Run with --benchmark_report_aggregates_only=true to see the mean, median and least of 5 repetitions.
#include "bench/workloads.h"
#include "search/combination_search.h"
#include "search/fast_search.h"
#include "search/run_time_error.h"
#include "search/solution_batch.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace velmora::bench {
namespace {

class EmptySink final : public SolutionSink {
public:
    void accept(std::span<const Solution> solutions) override {
        benchmark::DoNotOptimize(solutions.data());
        m_count += solutions.size();
    }
    std::size_t m_count = 0;
};

template <class Run>
void measure(benchmark::State& state, const SearchSetup& setup, Run run) {
    std::size_t solutions = 0;
    for (auto _ : state) {
        EmptySink sink;
        try {
            run(setup, sink);
        } catch (const RunTimeError&) {
            // W4 ends with the overflow error by design
        }
        solutions = sink.m_count;
    }
    state.counters["solutions"] = double(solutions);
    state.counters["combinations"] = combinations(setup);
    if (solutions > 0)
        state.counters["time/solution"] =
            benchmark::Counter(double(solutions), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["time/combination"] =
        benchmark::Counter(combinations(setup), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fast(benchmark::State& state, SearchSetup (*make)()) {
    measure(state, make(), [](const SearchSetup& s, SolutionSink& sink) { fastSearch(s, sink); });
}
void reference(benchmark::State& state, SearchSetup (*make)()) {
    measure(state, make(), [](const SearchSetup& s, SolutionSink& sink) { referenceSearch(s, sink); });
}
void count(benchmark::State& state, SearchSetup (*make)()) {
    const SearchSetup setup = make();
    SearchCount result;
    for (auto _ : state)
        benchmark::DoNotOptimize(result = countSolutions(setup));
    state.SetLabel(result.solutions.text() + (result.overflow ? " then overflow" : ""));
}

// The machine may be shared: the least of several repetitions is the figure least disturbed by others.
double least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The floor under any engine: only writing W6's 38,306 records through SolutionBatch to the empty sink.
void recordsOnly(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        EmptySink sink;
        SolutionBatch batch(sink);
        for (std::size_t i = 0; i < n; ++i) {
            Solution& s = batch.next();
            s.sum = 200;
            s.values = {static_cast<std::int16_t>(i & 7), static_cast<std::int16_t>(i >> 3 & 7), 1, 2, 3, 4, 5, 6};
        }
        batch.flush();
    }
    state.counters["time/solution"] =
        benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(recordsOnly)->Arg(38306)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", least);

SearchSetup w3Small() { return w3Wide(10); }
SearchSetup w5Small() { return w5ZeroWeight(0, 9); }

BENCHMARK_CAPTURE(fast, W1_shopping, w1Shopping)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(fast, W2_dense, w2Dense)->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(fast, W3_wide, []() { return w3Wide(); })->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(fast, W4_overflow_midway, w4OverflowMidway)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(fast, W5_zero_weight, []() { return w5ZeroWeight(); })->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(fast, W6_small, w6Small)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", least);

BENCHMARK_CAPTURE(count, W3_wide, []() { return w3Wide(); })->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(count, W2_dense, w2Dense)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(count, terms_0_120_target_2200, countHuge)->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", least);

// The hard families: one run each is enough to see seconds from milliseconds.
SearchSetup hm60a() { return hiddenModulus(60, false); }
SearchSetup hm60d() { return hiddenModulus(60, true); }
SearchSetup hm81a() { return hiddenModulus(81, false); }
SearchSetup hm81d() { return hiddenModulus(81, true); }
SearchSetup rw60a() { return randomWeights(60, false); }
SearchSetup rw60d() { return randomWeights(60, true); }
SearchSetup rw81a() { return randomWeights(81, false); }
SearchSetup rw81d() { return randomWeights(81, true); }
#define VELMORA_HARD(name, make)                                                                                  \
    BENCHMARK_CAPTURE(fast, name, make)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ComputeStatistics("min", least); \
    BENCHMARK_CAPTURE(count, name, make)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ComputeStatistics("min", least)
VELMORA_HARD(HM60_ascending, hm60a);
VELMORA_HARD(HM60_descending, hm60d);
VELMORA_HARD(HM81_ascending, hm81a);
VELMORA_HARD(HM81_descending, hm81d);
VELMORA_HARD(RW60_ascending, rw60a);
VELMORA_HARD(RW60_descending, rw60d);
VELMORA_HARD(RW81_ascending, rw81a);
VELMORA_HARD(RW81_descending, rw81d);
VELMORA_HARD(HM81_overflow_stop, hiddenModulusOverflow);
SearchSetup worst1() { return worstListing(false); }
SearchSetup worst2() { return worstListing(true); }
VELMORA_HARD(WL1_5967146, worst1);
VELMORA_HARD(WL2_4479506, worst2);

BENCHMARK_CAPTURE(reference, W1_shopping, w1Shopping)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK_CAPTURE(reference, W2_dense, w2Dense)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK_CAPTURE(reference, W3_wide_ranges_0_10, w3Small)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK_CAPTURE(reference, W4_overflow_midway, w4OverflowMidway)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK_CAPTURE(reference, W5_term1_range_0_9, w5Small)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK_CAPTURE(reference, W6_small, w6Small)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

} // namespace
} // namespace velmora::bench

BENCHMARK_MAIN();
