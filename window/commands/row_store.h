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
public:
    /// The default limit: 2^30 rows, 16 GiB. Row numbers stay within a scroll bar's int range.
    static constexpr std::size_t kDefaultLimit = std::size_t{1} << 30;
    static constexpr std::size_t kBlockRows = std::size_t{1} << 16;
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

private:
    using Values = std::array<std::int16_t, SearchSetup::kTermCount>;
    struct Block {
        std::unique_ptr<Values[]> values;
        std::unique_ptr<std::int32_t[]> sums; // only once the block's sums differ
        std::int32_t sharedSum = 0;
    };

    void appendOne(const Solution& solution);

    std::vector<Block> m_blocks;
    std::size_t m_size = 0;
    std::size_t m_limit = kDefaultLimit;
};

} // namespace velmora
