#include "search/fast/join_sweep_emit.h"

#include "search/fast/block_ring.h"
#include "search/fast/join_threads.h"

#include <span>

namespace velmora::fast::join {
namespace {

// The most records of a piece; a chunk goes in 16 pieces or more, so that the threads share it.
constexpr std::size_t kPieceRecords = 2048;

// Calls piece(row, first record, end) for the chunk's pieces in order: runs of one row's records,
// from the outer combination `from` on.
template <class Piece>
void forEachPiece(const ChunkRecords& c, RowStart from, Piece&& piece) {
    const std::size_t size = std::clamp<std::size_t>(c.recordCount / 16, 1, kPieceRecords);
    const std::size_t rows = c.rowEnd - c.rowFirst;
    for (std::size_t r = 0; r < rows; ++r) {
        std::size_t j = c.rowStart[r];
        const std::size_t end = r + 1 < rows ? c.rowStart[r + 1] : c.recordCount;
        while (c.rowFirst + r == from.row && j < end && c.layout.fast(c.records[j]) < from.fast)
            ++j; // listed before the join took over
        for (; j < end; j += size)
            piece(c.rowFirst + r, j, std::min(j + size, end));
    }
}

// Writes the solutions of records [j, end) of outer row `row`, in enumeration order, into `block` from
// `count` on. A full block of `capacity` goes to flush(capacity), which hands it on and returns the
// next block to fill, or null to stop: then false. No call is made within a group, so that the loop
// keeps its values in registers.
template <class Flush>
bool makePiece(const ChunkRecords& c, const Sweeps& s, std::size_t row, std::size_t j, std::size_t end,
               PackedValues*& block, std::size_t& count, std::size_t capacity, Flush&& flush) {
    const unsigned innerBits = s.inner.fast.bits;
    const std::uint32_t innerMask = (std::uint32_t{1} << innerBits) - 1;
    const std::uint32_t* const store = c.store;
    const PackedValues& slow = s.outer.slow.packed[row];
    PackedValues* to = block;
    std::size_t filled = count;
    for (; j < end; ++j) {
        const std::uint64_t record = c.records[j];
#if defined(__GNUC__)
        // The groups lie all over the store: ask for the group of a record 16 ahead. Their members'
        // values come from tables that stay in the cache (RunLookup).
        if (j + 16 < end) {
            const std::uint64_t ahead = c.records[j + 16];
            __builtin_prefetch(store + (c.layout.length(ahead) == 1 ? 0 : static_cast<std::uint32_t>(ahead)));
        }
#endif
        const PackedValues fast = s.outerFast.at(c.layout.fast(record));
        const std::uint64_t low = slow.low | fast.low, high = slow.high | fast.high;
        const auto place = static_cast<std::uint32_t>(record);
        std::size_t length = c.layout.length(record);
        // A group of one member is in its record; a longer group in the store, maybe after its length.
        const std::uint32_t* members = length == 1 ? &place : store + place;
        if (length == 0)
            length = *members++;
        while (length > 0) {
            if (filled == capacity) {
                to = flush(filled);
                filled = 0;
                if (!to)
                    return false;
            }
            const std::size_t n = std::min(length, capacity - filled);
            for (PackedValues *at = to + filled, *const stop = at + n; at < stop; ++at, ++members) {
                const std::uint32_t index = *members;
                const PackedValues x = s.innerFast.at(index & innerMask);
                const PackedValues& y = s.inner.slow.packed[index >> innerBits];
                *at = PackedValues{low | x.low | y.low, high | x.high | y.high};
            }
            filled += n;
            length -= n;
        }
    }
    block = to;
    count = filled;
    return true;
}

// The second thread: the odd pieces, into the ring. It stops at once when the ring is stopped.
struct OddPieces {
    const ChunkRecords& chunk;
    const Sweeps& sweeps;
    RowStart from;
    BlockRing& ring;

    static void run(void* context) noexcept {
        OddPieces& w = *static_cast<OddPieces*>(context);
        std::size_t p = 0;
        bool stopped = false;
        forEachPiece(w.chunk, w.from, [&](std::size_t row, std::size_t j, std::size_t end) {
            if (p++ % 2 == 0 || stopped)
                return;
            PackedValues* block = w.ring.acquire();
            std::size_t count = 0;
            stopped = !block || !makePiece(w.chunk, w.sweeps, row, j, end, block, count, BlockRing::kBlock,
                                           [&](std::size_t n) {
                                               w.ring.publish(n, false);
                                               return w.ring.acquire();
                                           });
            if (!stopped)
                w.ring.publish(count, true);
        });
    }
};

// Makes the pieces and hands them on; with a ring, the odd pieces come from it.
void handOn(const ChunkRecords& c, const Sweeps& s, RowStart from, BlockRing* ring, std::vector<PackedValues>& batch,
            PackedSink& out) {
    std::size_t p = 0;
    forEachPiece(c, from, [&](std::size_t row, std::size_t j, std::size_t end) {
        if (ring && p++ % 2 == 1) {
            for (BlockRing::Block block = ring->take();; block = ring->take()) {
                if (block.count > 0)
                    out.put(std::span<const PackedValues>(block.values, block.count));
                ring->release();
                if (block.last)
                    return;
            }
        }
        PackedValues* block = batch.data();
        std::size_t filled = 0;
        makePiece(c, s, row, j, end, block, filled, batch.size(), [&](std::size_t n) {
            out.put(std::span<const PackedValues>(batch.data(), n));
            return batch.data();
        });
        if (filled > 0)
            out.put(std::span<const PackedValues>(batch.data(), filled));
    });
}

} // namespace

void emitChunk(const ChunkRecords& c, const Sweeps& s, RowStart from, int threads, EmitBuffers& buffers,
               PackedSink& out) {
    if (threads < 2)
        return handOn(c, s, from, nullptr, buffers.batch, out);
    OddPieces odd{c, s, from, buffers.ring};
    SecondThread second(&OddPieces::run, &odd);
    if (!second.started())
        return handOn(c, s, from, nullptr, buffers.batch, out);
    // On an exception of the sink, the second thread stops at its next block and is joined.
    try {
        handOn(c, s, from, &buffers.ring, buffers.batch, out);
    } catch (...) {
        buffers.ring.stop();
        throw;
    }
}

} // namespace velmora::fast::join
