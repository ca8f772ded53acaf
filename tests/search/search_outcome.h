#pragma once

#include "search/combination_search.h"
#include "search/run_time_error.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora::testing_support {

class Collector final : public SolutionSink {
public:
    void accept(std::span<const Solution> solutions) override {
        m_solutions.insert(m_solutions.end(), solutions.begin(), solutions.end());
    }
    std::vector<Solution> m_solutions;
};

/// What a run hands on: its solutions, and whether it then stopped with error 6.
struct Outcome {
    std::vector<Solution> solutions;
    bool overflow = false;
};

/// Runs `run(sink)` and records what it handed on; any run-time error must be the overflow.
template <class Run>
Outcome outcomeOf(Run&& run) {
    Collector sink;
    Outcome outcome;
    try {
        run(sink);
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 6);
        outcome.overflow = true;
    }
    outcome.solutions = std::move(sink.m_solutions);
    return outcome;
}

inline Outcome reference(const SearchSetup& setup) {
    return outcomeOf([&](SolutionSink& sink) { referenceSearch(setup, sink); });
}

} // namespace velmora::testing_support
