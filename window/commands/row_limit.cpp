#include "window/commands/row_limit.h"

#include "window/commands/row_store.h"

#include <algorithm>
#include <limits>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

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

std::optional<std::uint64_t> memoryOfPages(long long pages, long long pageSize) {
    if (pages <= 0 || pageSize <= 0)
        return std::nullopt;
    const auto p = static_cast<std::uint64_t>(pages);
    const auto size = static_cast<std::uint64_t>(pageSize);
    if (p > std::numeric_limits<std::uint64_t>::max() / size)
        return std::numeric_limits<std::uint64_t>::max();
    return p * size;
}

std::optional<std::uint64_t> physicalMemoryBytes() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status) || status.ullTotalPhys == 0)
        return std::nullopt;
    return status.ullTotalPhys;
#else
    return memoryOfPages(sysconf(_SC_PHYS_PAGES), sysconf(_SC_PAGE_SIZE));
#endif
}

std::size_t machineRowLimit() {
    const std::optional<std::uint64_t> memory = physicalMemoryBytes();
    return memory ? rowLimitForMemory(*memory) : RowStore::kDefaultLimit;
}

} // namespace velmora
