#include "window/commands/row_store.h"

#include "search/run_time_error.h"

#include <algorithm>
#include <new>

namespace velmora {

RowStore::RowStore(std::size_t limit) : m_limit(std::min(limit, kDefaultLimit)) {}

void RowStore::append(std::span<const Solution> solutions) {
    try {
        for (const Solution& s : solutions) {
            if (m_size >= m_limit)
                throw RunTimeError::outOfMemory();
            appendOne(s);
        }
    } catch (const std::bad_alloc&) {
        throw RunTimeError::outOfMemory();
    }
}

void RowStore::appendOne(const Solution& solution) {
    const std::size_t offset = m_size % kBlockRows;
    if (offset == 0) {
        // Reserve the block table ahead so that push_back cannot fail after the block is allocated.
        if (m_blocks.size() == m_blocks.capacity())
            m_blocks.reserve(static_cast<std::size_t>(tableCapacity(m_blocks.size() + 1)));
        Block block;
        block.values = std::make_unique_for_overwrite<Values[]>(kBlockRows);
        block.sharedSum = solution.sum;
        m_blocks.push_back(std::move(block));
    }
    Block& block = m_blocks.back();
    if (!block.sums && solution.sum != block.sharedSum) {
        block.sums = std::make_unique_for_overwrite<std::int32_t[]>(kBlockRows);
        std::fill_n(block.sums.get(), offset, block.sharedSum);
    }
    if (block.sums)
        block.sums[offset] = solution.sum;
    block.values[offset] = solution.values;
    ++m_size;
}

void RowStore::clear() {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_size = 0;
}

std::int32_t RowStore::cell(std::size_t row, int column) const {
    const Block& block = m_blocks[row / kBlockRows];
    const std::size_t offset = row % kBlockRows;
    if (column == 0)
        return block.sums ? block.sums[offset] : block.sharedSum;
    return block.values[offset][static_cast<std::size_t>(column - 1)];
}

std::size_t RowStore::bytesAllocated() const {
    std::size_t bytes = m_blocks.capacity() * sizeof(Block);
    for (const Block& block : m_blocks)
        bytes += kBlockRows * sizeof(Values) + (block.sums ? kBlockRows * sizeof(std::int32_t) : 0);
    return bytes;
}

} // namespace velmora
