#pragma once
// The record writers: how runs of table matches become records in the emitter's block.
//
// Every writer has the shape of writeRunNarrow (narrow_writer.h): it writes records at..at+n-1 of `block` (64-byte
// aligned), record i being the target's sum with inner[i] | lowBits as the values of terms 1..4 and
// `high` as those of terms 5..8. A writer works in groups of records, so it may write up to
// kWriteOverrun records past the run (in the block's slack, or overwritten by the next run) and read
// up to kWriteOverrun values past it: callers pad their arrays. The 64-byte writer lives in
// wide_writer.cpp, the one unit compiled for those instructions; it is taken only where
// hasWideStores() says the processor has them.

#include "search/combination_search.h"
#include "search/fast/simd.h"

#include <cstddef>
#include <cstdint>

namespace velmora::fast {

constexpr std::size_t kWriteOverrun = 15;

// The runs of matches of consecutive values of the term just above a table with a bucket per key:
// value i of the term is `value` + i * `valueStep`, its key is `key` + i * `keyStep`, and its run is
// values[starts[key] .. starts[key + 1]).
struct KeyedRuns {
    const std::uint32_t* starts = nullptr;
    const std::uint64_t* values = nullptr;
    bool prefetch = false;  // the table lies beyond the inner caches
    std::uint64_t key = 0;
    std::int64_t keyStep = 0;
    std::int64_t count = 0; // values left
    std::int64_t value = 0;
    std::int64_t valueStep = 0;
    int term = 0;           // 0..7: the term's 16-bit lane in the low word (0..3) or the high word (4..7)
};

#if VELMORA_AVX512
// Whether the processor has the 64-byte stores of the writers below (record_writer.cpp).
bool hasWideStores();

// writeRunNarrow's records, sixteen at a time in five 64-byte words: a group from `at`, then groups
// from each following multiple of 16.
void writeRunWide(Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n,
                  std::uint64_t lowBits, std::uint64_t high, std::int32_t target);

// Writes the runs of `runs` one after the other from `at`, as writeRunWide writes each, with the
// run's value set in its term's lane of `low` or `high`, and returns where the records end. Stops
// at the first run that does not fit below `capacity`: `runs` then describes the runs left, the first
// of them being that one, and `low`, `high` already hold its value.
std::size_t writeKeyedRunsWide(Solution* block, std::size_t at, std::size_t capacity, KeyedRuns& runs,
                               std::uint64_t& low, std::uint64_t& high, std::int32_t target);
#endif

} // namespace velmora::fast
