// Runs one workload once through the fast engine, listing to a sink that only counts, or counting:
// a fixed amount of work for instruction counts, which stay repeatable on a shared machine.
//   valgrind --tool=callgrind --toggle-collect='velmora::fastSearch*' build/bench/engine_once W3
//   valgrind --tool=callgrind --toggle-collect='velmora::fastCount*' build/bench/engine_once W3 count
// A name ending in .ini is a settings file (hard_search --settings writes the hard families'):
//   /usr/bin/time build/bench/engine_once /tmp/hs/RW128-ascending.ini
// Valgrind has no AVX-512: under it the engine takes the 16-byte record writer.
#include "bench/workloads.h"
#include "search/fast_search.h"
#include "search/run_time_error.h"
#include "setup/settings_file.h"

#include <cstdio>
#include <string_view>

namespace {

class CountingSink final : public velmora::SolutionSink {
public:
    void accept(std::span<const velmora::Solution> solutions) override { m_count += solutions.size(); }
    std::size_t m_count = 0;
};

} // namespace

int main(int argc, char** argv) {
    using namespace velmora::bench;
    const std::string_view name = argc > 1 ? argv[1] : "";
    velmora::SearchSetup setup = name == "W1"   ? w1Shopping()
                                       : name == "W2" ? w2Dense()
                                       : name == "W3" ? w3Wide()
                                       : name == "W4" ? w4OverflowMidway()
                                       : name == "W5" ? w5ZeroWeight()
                                       : name == "W6" ? w6Small()
                                       : name == "WL1" ? worstListing(false)
                                       : name == "WL2" ? worstListing(true)
                                                      : countHuge();
    if (name.ends_with(".ini") && !velmora::SettingsFile::load(setup, {}, std::string(name)).ok()) {
        std::fprintf(stderr, "%s: cannot load\n", argv[1]);
        return 1;
    }
    if (argc > 2) {
        std::printf("%s\n", velmora::fastCount(setup).solutions.text().c_str());
        return 0;
    }
    CountingSink sink;
    try {
        velmora::fastSearch(setup, sink);
    } catch (const velmora::RunTimeError&) {
        // W4 ends with the overflow error by design
    }
    std::printf("%zu\n", sink.m_count);
    return 0;
}
