#pragma once
// The chunks of a sweep's listing: which outer rows each takes, from the totals of the count before
// it, and where each row's records and store words go.

#include "search/fast/join_sweep.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::fast::join {

/// Per part of the windows and row of a chunk: where its records and its store words start. A row's
/// records are one run, its parts' one after the other.
struct ChunkPlaces {
    std::array<std::vector<std::size_t>, kParts> record;
    std::array<std::vector<std::size_t>, kParts> store;
    std::size_t records = 0;
    std::size_t words = 0;

    /// The places of rows [rowFirst, rowEnd); within the capacity reserved for the largest chunk, no
    /// allocation.
    void fill(const RowTotals& totals, std::size_t rowFirst, std::size_t rowEnd);
};

/// The chunks' first rows, from `first`, and the end: chunks of about the same size, as many as
/// sweepChunks weighs (each sweeps the whole inner side again). Nothing when one row alone needs more
/// than `budget`.
std::optional<std::vector<std::size_t>> planChunks(const RowTotals& totals, std::size_t first, double budget,
                                                   const SweepSide& inner, std::uint64_t span, int threads);

} // namespace velmora::fast::join
