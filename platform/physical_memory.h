#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

/// The physical memory of this machine in bytes: sysconf on POSIX systems, GlobalMemoryStatusEx on
/// Windows; nothing when the system cannot tell.
std::optional<std::uint64_t> physicalMemoryBytes();

/// `pages` pages of `pageSize` bytes in 64-bit arithmetic (so it holds on a 32-bit system too), saturating
/// at the largest 64-bit value; nothing when either is not positive, as when the system cannot tell.
std::optional<std::uint64_t> memoryOfPages(long long pages, long long pageSize);

} // namespace velmora
