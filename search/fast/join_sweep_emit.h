#pragma once
// The last phase of a sweep's listing: the solutions of a chunk, made from its records and the store
// of their groups, handed on in enumeration order.

#include "search/fast/block_ring.h"
#include "search/fast/join_sweep.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::fast::join {

/// A record of an outer combination with a match: its fast index in the high bits, which the records
/// of a row are sorted by, its group's length below them when it fits, else 0, and the group's place
/// in the store in the low 32 bits, or for a group of one member the member itself. A group too long
/// for the record has its length in the store, before its members.
struct RecordLayout {
    unsigned fastBits;
    unsigned lengthBits;

    explicit RecordLayout(unsigned outerFastBits)
        : fastBits(outerFastBits), lengthBits(std::min(4u, 32 - std::min(outerFastBits, 31u))) {}
    /// The shortest group that keeps its length in the store.
    std::uint64_t longGroup() const { return std::uint64_t{1} << lengthBits; }
    std::uint64_t record(std::uint32_t fast, std::uint64_t length, std::size_t place) const {
        const std::uint64_t inlined = length < longGroup() ? length : 0;
        return (std::uint64_t{fast} << lengthBits | inlined) << 32 | place;
    }
    std::uint32_t fast(std::uint64_t record) const { return static_cast<std::uint32_t>(record >> (32 + lengthBits)); }
    std::uint32_t length(std::uint64_t record) const {
        return static_cast<std::uint32_t>(record >> 32) & static_cast<std::uint32_t>(longGroup() - 1);
    }
};

/// A chunk of a sweep's listing, swept and sorted: per row its records, by outer fast index, and
/// their groups (inner combinations, row << inner fast bits | fast index) in the store.
struct ChunkRecords {
    const std::uint64_t* records;
    const std::uint32_t* store;
    const std::size_t* rowStart; // per row of the chunk, its first record
    std::size_t recordCount;     // the end of the last row's records
    std::size_t rowFirst;        // the chunk's rows of the outer side: [rowFirst, rowEnd)
    std::size_t rowEnd;
    RecordLayout layout;
};

/// What the emit holds: allocated before the listing hands anything on, used again for every chunk.
struct EmitBuffers {
    BlockRing ring;                  // the second thread's pieces
    std::vector<PackedValues> batch; // the calling thread's
    void allocate() {
        ring.allocate();
        batch.resize(BlockRing::kBlock);
    }
    static constexpr double kBytes = double((BlockRing::kBlocks + 1) * BlockRing::kBlock * sizeof(PackedValues));
};

/// Hands the chunk's solutions on, from the outer combination `from` on. With two threads, the chunk
/// goes in pieces of a row's records, and the second thread makes every other piece.
void emitChunk(const ChunkRecords& chunk, const Sweeps& sweeps, RowStart from, int threads, EmitBuffers& buffers,
               PackedSink& out);

} // namespace velmora::fast::join
