#include "platform/physical_memory.h"

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

} // namespace velmora
