#pragma once
// The emitter: where the search hands its solutions, a record or a prepared run of records at a time.

#include "search/combination_search.h"
#include "search/fast/narrow_writer.h"
#include "search/fast/record_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmora::fast {

// Collects solutions and hands them to the sink a block at a time, like SolutionBatch, but writes the
// eight values as two 64-bit words and keeps count of what it has produced.
class Emitter {
public:
    Emitter(SolutionSink& sink, std::int32_t target, bool wideStores) : m_sink(sink), m_target(target) {
#if VELMORA_AVX512
        m_wide = wideStores && hasWideStores();
#else
        (void)wideStores;
#endif
    }

    // A position in the block held by the caller, so that a loop that writes many solutions keeps it
    // in a register instead of storing and reloading the block's fill after every solution.
    struct Cursor {
        Solution* next;
        Solution* end;
        std::int32_t sum;
    };

    Cursor open() {
        if (m_used == kBlock)
            flush();
        return {m_block.data() + m_used, m_block.data() + kBlock, m_target};
    }
    void close(const Cursor& cursor) { m_used = static_cast<std::size_t>(cursor.next - m_block.data()); }

    // Always inlined: the loops that write solutions one at a time depend on it (with four callers GCC
    // stopped inlining it into the loop over a weight-0 term's values, and W5 slowed by a quarter).
    [[gnu::always_inline]] void put(Cursor& cursor, std::uint64_t low, std::uint64_t high) {
        if (cursor.next == cursor.end) {
            close(cursor);
            cursor = open();
        }
        Solution& s = *cursor.next++;
        s.sum = cursor.sum;
        std::memcpy(s.values.data(), &low, sizeof low);
        std::memcpy(s.values.data() + 4, &high, sizeof high);
    }

    void put(std::uint64_t low, std::uint64_t high) {
        Cursor cursor = open();
        put(cursor, low, high);
        close(cursor);
    }

    // The solutions (inner[i] | lowBits, high) for i < n: the run of matches of one table look-up.
    // inner[n..n+kWriteOverrun-1] must be readable.
    void putRun(const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits, std::uint64_t high) {
        while (n > 0) {
            if (m_used == kBlock)
                flush();
            const std::size_t c = std::min(n, kBlock - m_used);
            writeRun(m_used, inner, c, lowBits, high);
            m_used += c;
            inner += c;
            n -= c;
        }
    }

    // Whether putKeyedRuns may be called: the processor has 64-byte stores and they are wanted.
    bool wide() const { return m_wide; }

    // The runs of `n` progressions over `table`, written as putRun writes each; `low` and `high` hold
    // the values of the terms above the table but those the progressions set. Only where wide() holds.
    void putKeyedRuns(const KeyedTable& table, const KeyedProgression* progressions, std::size_t n,
                      std::uint64_t low, std::uint64_t high) {
#if VELMORA_AVX512
        m_used = writeKeyedRunsWide(m_block.data(), m_used, kBlock, table, progressions, n, low, high, m_target,
                                    &Emitter::handOn, this);
#else
        // Without 64-byte stores wide() is false and the callers look the runs up one by one instead.
        (void)table, (void)progressions, (void)n, (void)low, (void)high;
        std::abort();
#endif
    }

    std::uint64_t produced() const { return m_flushed + m_used; }

    void flush();
    /// Hands on what the block holds and tells the sink that no solutions come for a while.
    void idle() {
        flush();
        m_sink.idle();
    }

    // Recording keeps a copy of every solution produced from now on, up to `cap` of them, taken from the
    // block as it is handed on (the loops that write solutions are not slowed down).
    bool recording() const { return m_recording; }
    void startRecording(std::vector<Solution>& into, std::size_t cap);
    // True when every solution produced since the start is in the record.
    bool stopRecording();
    // Stops recording without touching the record, which an exception is taking away.
    void abandonRecording() {
        m_recording = false;
        m_record = nullptr;
    }

private:
    void writeRun(std::size_t at, const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits,
                  std::uint64_t high) {
#if VELMORA_AVX512
        if (m_wide) {
            writeRunWide(m_block.data(), at, inner, n, lowBits, high, m_target);
            return;
        }
#endif
        writeRunNarrow(m_block.data(), at, inner, n, lowBits, high, m_target);
    }

    void capture();

    // For the keyed writer: the block is full up to `used`.
    static void handOn(void* emitter, std::size_t used) {
        auto* self = static_cast<Emitter*>(emitter);
        self->m_used = used;
        self->flush();
    }

    static constexpr std::size_t kBlock = 1024;
    bool m_recording = false;
    bool m_recordComplete = false;
    std::size_t m_recordCap = 0;
    std::size_t m_recordFrom = 0;
    std::vector<Solution>* m_record = nullptr;
    SolutionSink& m_sink;
    std::int32_t m_target = 0;
    static constexpr std::size_t kSlack = kWriteOverrun + 1; // room for a group written past the block's end
    bool m_wide = false; // writeRunWide: sixteen records in five 64-byte words
    alignas(64) std::array<Solution, kBlock + kSlack> m_block{}; // 64-byte words at every sixteenth record
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
};

} // namespace velmora::fast
