#pragma once
// The record writers: how runs of table matches become records in the emitter's block.
//
// Every writer has the shape of writeRunNarrow (narrow_writer.h): it writes records at..at+n-1 of
// `block` (64-byte aligned), record i being the target's sum with inner[i] | lowBits as the values of
// terms 1..4 and `high` as those of terms 5..8. A writer works in groups of records, so it may write up to
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

// A table with a bucket per key, as the keyed writer reads it: the run of key K is
// values[starts[K] .. starts[K + 1]).
struct KeyedTable {
    const std::uint32_t* starts = nullptr;
    const std::uint64_t* values = nullptr;
    bool prefetch = false;      // the table lies beyond the inner caches
    std::int64_t keyStep = 0;   // the key's step when the term above the table takes its next value
    std::int64_t valueStep = 0; // ... and that value's step
    int term = 0;       // the term above the table, 0..7: its lane in the low (0..3) or high word (4..7)
    int upperTerm = -1; // the term above that, whose value each progression sets; -1: none
};

// The runs of `count` consecutive values of the term above a keyed table: value i of the term is
// `value` + i * valueStep and its key `key` + i * keyStep. `upperValue` is the value of the term
// above that, when the table names one.
struct KeyedProgression { // left uninitialised in batches: written before it is read
    std::uint64_t key;
    std::int64_t count;
    std::int64_t value;
    std::int64_t upperValue;
};

#if VELMORA_AVX512
// Whether the processor has the 64-byte stores of the writers below (record_writer.cpp).
bool hasWideStores();

// writeRunNarrow's records, sixteen at a time in five 64-byte words: a group from `at`, then groups
// from each following multiple of 16.
void writeRunWide(Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n,
                  std::uint64_t lowBits, std::uint64_t high, std::int32_t target);

// Hands on the records of a full block, block[0..used), so that the block can be written again.
using HandOnBlock = void (*)(void* context, std::size_t used);

// Writes the runs of `n` progressions one after the other from `at`, as writeRunWide writes each,
// with the run's value set in its term's lane of `low` or `high` (and the progression's upper value in
// its lane), and returns where the records end. A run that does not fit below `capacity` is split:
// what fits, then handOn(context, capacity), then the rest from the start of the block.
std::size_t writeKeyedRunsWide(Solution* block, std::size_t at, std::size_t capacity, const KeyedTable& table,
                               const KeyedProgression* progressions, std::size_t n, std::uint64_t low,
                               std::uint64_t high, std::int32_t target, HandOnBlock handOn, void* context);
#endif

} // namespace velmora::fast
