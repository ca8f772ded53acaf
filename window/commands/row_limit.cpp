#include "window/commands/row_limit.h"

#include "platform/physical_memory.h"
#include "window/commands/row_store.h"

#include <algorithm>

namespace velmora {

std::size_t rowLimitForMemory(std::uint64_t physicalBytes) {
    constexpr std::uint64_t maxBlocks = RowStore::kDefaultLimit / RowStore::kBlockRows;
    const std::uint64_t half = physicalBytes / 2;
    // The values alone bound the blocks; the block table, 24 bytes an entry and at most two entries a block
    // past the first 16, is under 0.01% of them and takes one block off at most.
    std::uint64_t blocks = std::min(maxBlocks, half / RowStore::kBlockValueBytes);
    while (blocks > 0 && RowStore::bytesForBlocks(blocks) > half)
        --blocks;
    // A store's first row takes a whole block, so a smaller limit would save nothing.
    return static_cast<std::size_t>(std::max<std::uint64_t>(blocks, 1)) * RowStore::kBlockRows;
}

std::size_t machineRowLimit() {
    const std::optional<std::uint64_t> memory = physicalMemoryBytes();
    return memory ? rowLimitForMemory(*memory) : RowStore::kDefaultLimit;
}

} // namespace velmora
