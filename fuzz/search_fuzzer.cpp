// Differential fuzzing of the fast engine: a small setup read from the bytes is searched by the
// reference engine and by the fast one, listing and counting, with the automatic choice and with one
// way of solving the inner terms forced by the bytes. Any difference in the solutions, their order,
// their count or the overflow stop aborts.
#include "search/combination_search.h"
#include "search/fast_search.h"
#include "search/run_time_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

using velmora::FastSearchOptions;
using velmora::InnerMethod;
using velmora::SearchSetup;
using velmora::Solution;

// Combinations in all, kept small enough for the reference engine to search them in about a millisecond.
constexpr double kMaxCombinations = 1e5;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::int32_t int32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        return static_cast<std::int32_t>(v);
    }
    std::int16_t int16() { return static_cast<std::int16_t>(byte() << 8 | byte()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Small weights give many solutions; weights at the 32-bit edges make the overflow stop happen.
std::int32_t readWeight(Bytes& in) {
    const std::uint8_t kind = in.byte();
    switch (kind % 4) {
    case 0: return static_cast<std::int8_t>(in.byte());
    case 1: return in.int32();
    case 2: return std::numeric_limits<std::int32_t>::max() - in.byte();
    default: return std::numeric_limits<std::int32_t>::min() + in.byte();
    }
}

SearchSetup readSetup(Bytes& in) {
    SearchSetup setup;
    for (auto& term : setup.terms)
        term.weight = readWeight(in);
    double combinations = 1;
    for (auto& term : setup.terms) {
        term.first = in.int16();
        const std::uint8_t length = in.byte();
        if (length == 255) { // an empty range: no combination at all
            term.last = static_cast<std::int16_t>(term.first - 1);
            if (term.first == std::numeric_limits<std::int16_t>::min())
                term.first = term.last = 0;
            continue;
        }
        // Up to 16 values, fewer once the ranges above have used the allowance.
        int values = 1 + length % 16;
        while (values > 1 && combinations * values > kMaxCombinations)
            --values;
        if (term.first > std::numeric_limits<std::int16_t>::max() - (values - 1))
            term.first = static_cast<std::int16_t>(std::numeric_limits<std::int16_t>::max() - (values - 1));
        term.last = static_cast<std::int16_t>(term.first + values - 1);
        combinations *= values;
    }
    // A target made by some combination, so that solutions exist, or any 32-bit value.
    if (in.byte() % 2 == 0) {
        std::int64_t sum = 0;
        for (const auto& term : setup.terms) {
            const int span = term.last - term.first + 1;
            sum += std::int64_t{term.weight} * (term.first + (span > 0 ? in.byte() % span : 0));
        }
        setup.target = static_cast<std::int32_t>(static_cast<std::uint32_t>(sum));
    } else {
        setup.target = in.int32();
    }
    return setup;
}

// One forced way of solving the inner terms, or a forced way with other settings: every method and
// table size, 16-byte stores, small records of repeated solutions and small table caps, and the joins
// on one thread or two, with a memory limit down to a few hundred bytes (the chunked ways), after a
// head start of the recursion or not.
FastSearchOptions readOptions(Bytes& in) {
    const std::uint8_t choice = in.byte();
    const std::uint8_t settings = in.byte();
    FastSearchOptions options;
    options.method = static_cast<InnerMethod>(choice % 6);
    options.tableTerms = 1 + (choice / 6) % 8;
    options.headChecks = choice / 48; // 1..5: the recursion starts a forced join's box, the join takes the rest
    options.wideStores = (settings & 1) == 0;
    if (settings & 2)
        options.maxRecordedSolutions = settings >> 4;
    if (settings & 4)
        options.maxSparseEntries = options.maxDenseKeys = double(1u << (settings >> 4));
    options.joinThreads = (settings & 8) ? 1 : 2;
    if (settings & 2) { // the sweep's listing in chunks of that many bytes, within the default memory
        if (options.method == InnerMethod::Sweep)
            options.joinChunkBytes = std::size_t{256} << (settings >> 4);
        else
            options.joinMemory = std::size_t{256} << (settings >> 4);
    }
    return options;
}

class Collector final : public velmora::SolutionSink {
public:
    void accept(std::span<const Solution> solutions) override {
        m_solutions.insert(m_solutions.end(), solutions.begin(), solutions.end());
    }
    std::vector<Solution> m_solutions;
};

struct Outcome {
    std::vector<Solution> solutions;
    bool overflow = false;
};

template <class Run>
Outcome outcomeOf(Run&& run) {
    Collector sink;
    Outcome outcome;
    try {
        run(sink);
    } catch (const velmora::RunTimeError& error) {
        if (error.number() != 6)
            std::abort();
        outcome.overflow = true;
    }
    outcome.solutions = std::move(sink.m_solutions);
    return outcome;
}

void check(const SearchSetup& setup, const Outcome& expected, const FastSearchOptions& options) {
    const Outcome listed = outcomeOf([&](velmora::SolutionSink& sink) { velmora::fastSearch(setup, sink, options); });
    if (listed.overflow != expected.overflow || listed.solutions != expected.solutions)
        std::abort();
    const velmora::SearchCount counted = velmora::fastCount(setup, options);
    if (counted.overflow != expected.overflow ||
        !(counted.solutions == velmora::SolutionCount(expected.solutions.size())))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const FastSearchOptions forced = readOptions(in);
    const SearchSetup setup = readSetup(in);
    const Outcome expected = outcomeOf([&](velmora::SolutionSink& sink) { velmora::referenceSearch(setup, sink); });
    check(setup, expected, FastSearchOptions{});
    check(setup, expected, forced);
    return 0;
}
