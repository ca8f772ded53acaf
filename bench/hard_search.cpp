// The hard families, for the command and for a search of the engine's slowest setups.
//
//   hard_search --settings DIR       writes the settings files of the fixed hard workloads into DIR,
//                                    and of the streaming ones (W7, W8, ZERO, ALT)
//   hard_search SEED COUNT [R]       times fastCount and fastSearch on COUNT random setups of the
//                                    families (hidden modulus and random large weights; orders, ranges
//                                    and moduli drawn from SEED), one line each, and the worst excess
//                                    over 15 ns per solution at the end
#include "bench/workloads.h"
#include "search/fast_search.h"
#include "search/run_time_error.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace velmora::bench {
namespace {

class CountingSink final : public SolutionSink {
public:
    void accept(std::span<const Solution> solutions) override { m_count += solutions.size(); }
    std::size_t m_count = 0;
};

void writeSettings(const std::string& path, const SearchSetup& setup) {
    std::ofstream out(path, std::ios::binary);
    out << setup.target << "\r\n";
    for (int k = 1; k <= 8; ++k)
        out << 'T' << k << "\r\n";
    for (const TermSpec& t : setup.terms)
        out << t.weight << "\r\n";
    for (const TermSpec& t : setup.terms)
        out << t.first << "\r\n" << t.last << "\r\n";
}

// A random setup of one of the families, every sum inside 32 bits.
SearchSetup randomSetup(std::mt19937_64& rng, int fixedValues) {
    const auto uniform = [&](std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
    };
    const int values = fixedValues > 0 ? fixedValues : static_cast<int>(uniform(50, 81));
    const bool centred = uniform(0, 1) == 1;
    const std::int32_t first = centred ? -(values / 2) : 0;
    const double reach = centred ? values / 2 : values - 1; // the largest |value|
    std::array<std::int32_t, 8> weights{};
    std::int64_t target = 0;
    if (uniform(0, 1) == 0) { // hidden modulus: M * a_k + b_k, the target's remainder out of reach
        std::array<std::int64_t, 8> a{};
        std::int64_t sumA = 0;
        for (std::int64_t& x : a)
            sumA += x = uniform(1, 9);
        const std::int64_t maxM = static_cast<std::int64_t>(2.0e9 / (double(sumA) * reach));
        const std::int64_t M = uniform(std::min<std::int64_t>(100000, maxM / 2), std::min<std::int64_t>(3000000, maxM));
        std::int64_t reachB = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const std::int64_t b = uniform(1, 20);
            weights[k] = static_cast<std::int32_t>(M * a[k] + b);
            reachB += b * static_cast<std::int64_t>(reach);
        }
        // Sum of b_k * v_k lies within [-reachB, reachB]: a remainder beyond it is out of reach.
        const std::int64_t middle = centred ? 0 : sumA * (values - 1) / 2;
        target = M * middle + (centred ? reachB + (M - 2 * reachB) / 2 : reachB + (M - reachB) / 2);
    } else { // random distinct weights, the target the sum of a random combination
        const std::int64_t maxW = std::min<std::int64_t>(5000000, static_cast<std::int64_t>(2.0e9 / 8 / reach));
        for (std::int32_t& w : weights)
            w = static_cast<std::int32_t>(uniform(1000000, maxW));
        for (std::int32_t w : weights)
            target += w * uniform(first, first + values - 1);
    }
    if (uniform(0, 2) > 0) {
        std::sort(weights.begin(), weights.end());
        if (uniform(0, 1) == 1)
            std::reverse(weights.begin(), weights.end());
    }
    SearchSetup setup = workload(static_cast<std::int32_t>(target), weights,
                                 every(static_cast<std::int16_t>(first), static_cast<std::int16_t>(first + values - 1)));
    return setup;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int search(std::uint64_t seed, int count, int values) {
    std::mt19937_64 rng(seed);
    double worst = -1e9;
    for (int i = 0; i < count; ++i) {
        const SearchSetup setup = randomSetup(rng, values);
        auto start = std::chrono::steady_clock::now();
        const SearchCount counted = fastCount(setup);
        const double countTime = seconds(start);
        CountingSink sink;
        start = std::chrono::steady_clock::now();
        try {
            fastSearch(setup, sink);
        } catch (const RunTimeError&) {
        }
        const double listTime = seconds(start);
        const double excess = std::max(countTime, listTime - 15e-9 * double(sink.m_count));
        worst = std::max(worst, excess);
        std::printf("%d target %d weights", i, setup.target);
        for (const TermSpec& t : setup.terms)
            std::printf(" %d", t.weight);
        std::printf(" values %d..%d: %s solutions%s, count %.3f s, list %.3f s, excess %.3f s\n", setup.terms[0].first,
                    setup.terms[0].last, counted.solutions.text().c_str(), counted.overflow ? " then overflow" : "",
                    countTime, listTime, excess);
        std::fflush(stdout);
    }
    std::printf("worst excess over 15 ns per solution: %.3f s\n", worst);
    return 0;
}

} // namespace
} // namespace velmora::bench

int main(int argc, char** argv) {
    using namespace velmora::bench;
    if (argc == 3 && std::string(argv[1]) == "--settings") {
        const std::string dir = argv[2];
        for (int values : {60, 81})
            for (bool descending : {false, true}) {
                const std::string suffix = std::to_string(values) + (descending ? "-descending" : "-ascending");
                writeSettings(dir + "/HM" + suffix + ".ini", hiddenModulus(static_cast<std::int16_t>(values), descending));
                writeSettings(dir + "/RW" + suffix + ".ini", randomWeights(static_cast<std::int16_t>(values), descending));
            }
        writeSettings(dir + "/HM-overflow.ini", hiddenModulusOverflow());
        writeSettings(dir + "/W7.ini", w7Streaming());
        writeSettings(dir + "/W8.ini", countHuge());
        writeSettings(dir + "/ZERO.ini", allWeightsZero());
        writeSettings(dir + "/ALT.ini", alternatingWeights());
        for (int values : {128, 160, 200, 256})
            for (bool descending : {false, true}) {
                const std::string suffix = std::to_string(values) + (descending ? "-descending" : "-ascending");
                const auto R = static_cast<std::int16_t>(values);
                writeSettings(dir + "/HM" + suffix + ".ini", hiddenModulusWide(R, descending));
                writeSettings(dir + "/RW" + suffix + ".ini", randomWeightsWide(R, descending));
            }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: hard_search --settings DIR | hard_search SEED COUNT [VALUES]\n");
        return 2;
    }
    return search(std::strtoull(argv[1], nullptr, 10), std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 0);
}
