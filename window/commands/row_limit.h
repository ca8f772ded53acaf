#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

/// The most rows the result columns hold on a machine with `physicalBytes` of memory: the whole blocks of
/// the row store that half of it holds, their block table included, but at most RowStore::kDefaultLimit
/// (2^30) and never less than one block. The rows a search hands the window all share its target, so a
/// row costs its 16 bytes of values; the other half of the memory is left to the system and the rest of
/// the program, so that a search with more solutions than fit stops with error 7 and keeps its rows
/// instead of being ended by the system.
std::size_t rowLimitForMemory(std::uint64_t physicalBytes);

/// The row limit of this machine (platform/physical_memory.h); RowStore::kDefaultLimit when its memory
/// cannot be read. Both windows hold their rows within it.
std::size_t machineRowLimit();

} // namespace velmora
