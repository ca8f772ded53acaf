#pragma once

#include "search/combination_search.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

/// The rows of the result columns, each stored once for all nine lists: 16 bytes of values per row, and
/// the sum kept once per block of rows while the rows of a block share it (every solution's sum is the
/// target, so in practice they always do); a block whose sums differ keeps one 32-bit sum per row.
/// Rows live in fixed blocks, so appending never moves or copies the rows already held.
class RowStore {
    using Values = std::array<std::int16_t, SearchSetup::kTermCount>;
    struct Block {
        std::unique_ptr<Values[]> values;
        std::unique_ptr<std::int32_t[]> sums; // only once the block's sums differ
        std::int32_t sharedSum = 0;
    };

public:
    /// The most rows a store holds: 2^30, 16 GiB of values. Row numbers stay within a scroll bar's int
    /// range. The windows ask for less where the machine's memory is smaller (window/commands/row_limit.h).
    static constexpr std::size_t kDefaultLimit = std::size_t{1} << 30;
    static constexpr std::size_t kBlockRows = std::size_t{1} << 16;
    /// The values of one block: 16 bytes a row, 1 MiB.
    static constexpr std::size_t kBlockValueBytes = kBlockRows * sizeof(Values);
    /// One entry of the block table.
    static constexpr std::size_t kTableEntryBytes = sizeof(Block);
    /// Columns: 0 is the sum, 1..8 the values of terms 1..8.
    static constexpr int kColumnCount = 1 + SearchSetup::kTermCount;

    /// `limit` is clamped to kDefaultLimit.
    explicit RowStore(std::size_t limit = kDefaultLimit);

    std::size_t size() const { return m_size; }
    std::size_t limit() const { return m_limit; }

    /// Appends the solutions in order. When the limit is reached or memory runs out, keeps the rows that
    /// fitted and throws RunTimeError 7.
    void append(std::span<const Solution> solutions);
    void clear();

    /// The number in `column` of `row` (row < size()).
    std::int32_t cell(std::size_t row, int column) const;

    /// Bytes allocated for the rows held.
    std::size_t bytesAllocated() const;
    /// What bytesAllocated() comes to once `blocks` whole blocks are held whose sums agree, as the rows of
    /// one search's target always do: their values and the block table.
    static constexpr std::uint64_t bytesForBlocks(std::uint64_t blocks) {
        return blocks * kBlockValueBytes + tableCapacity(blocks) * kTableEntryBytes;
    }

private:
    /// The block table's entries for `blocks` blocks: none, then 16, then doubling.
    static constexpr std::uint64_t tableCapacity(std::uint64_t blocks) {
        std::uint64_t capacity = blocks == 0 ? 0 : 16;
        while (capacity < blocks)
            capacity *= 2;
        return capacity;
    }

    void appendOne(const Solution& solution);

    std::vector<Block> m_blocks;
    std::size_t m_size = 0;
    std::size_t m_limit = kDefaultLimit;
};

} // namespace velmora
