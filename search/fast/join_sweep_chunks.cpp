#include "search/fast/join_sweep_chunks.h"

#include "search/fast/cost_model.h"

#include <algorithm>

namespace velmora::fast::join {

void ChunkPlaces::fill(const RowTotals& totals, std::size_t rowFirst, std::size_t rowEnd) {
    records = words = 0;
    for (std::size_t p = 0; p < kParts; ++p) {
        record[p].resize(rowEnd - rowFirst);
        store[p].resize(rowEnd - rowFirst);
    }
    for (std::size_t b = rowFirst; b < rowEnd; ++b)
        for (std::size_t p = 0; p < kParts; ++p) {
            record[p][b - rowFirst] = records;
            store[p][b - rowFirst] = words;
            records += totals.matches[p][b];
            words += totals.words[p][b];
        }
}

namespace {

// The bytes outer row b's records and store words take.
double rowBytes(const RowTotals& totals, std::size_t b) {
    double bytes = 0;
    for (std::size_t p = 0; p < kParts; ++p)
        bytes += 8 * double(totals.matches[p][b]) + 4 * double(totals.words[p][b]);
    return bytes;
}

} // namespace

std::optional<std::vector<std::size_t>> planChunks(const RowTotals& totals, std::size_t first, double budget,
                                                   const SweepSide& inner, std::uint64_t span, int threads) {
    const std::size_t rowCount = totals.rows();
    double total = 0;
    for (std::size_t b = first; b < rowCount; ++b) {
        const double bytes = rowBytes(totals, b);
        if (bytes > budget)
            return std::nullopt;
        total += bytes;
    }
    // A little over the even share, so that rounding never adds a chunk; a row larger than that
    // makes a chunk of its own.
    const double rows = double(inner.base.size());
    const double chunks = sweepChunks(total, budget, double(inner.values.size()) * rows, rows, double(span), threads);
    const double limit = std::min(budget, 1.05 * total / chunks);
    std::vector<std::size_t> chunkStart{first};
    double used = 0;
    for (std::size_t b = first; b < rowCount; ++b) {
        const double bytes = rowBytes(totals, b);
        if (used > 0 && used + bytes > limit) {
            chunkStart.push_back(b);
            used = 0;
        }
        used += bytes;
    }
    chunkStart.push_back(rowCount);
    return chunkStart;
}

} // namespace velmora::fast::join
