#pragma once

#include "search/combination_search.h"
#include "search/search_progress.h"
#include "search/solution_count.h"

namespace velmora {

/// How the fast engine solves the inner terms. `Automatic` lets a cost estimate choose per box; the
/// others force one way so that tests and benchmarks reach each of them on any setup.
enum class InnerMethod {
    Automatic,
    Recursion,   ///< bounded recursion, terms 1 and 2 solved together as an arithmetic progression
    SparseTable, ///< meet in the middle: every combination of the inner terms, grouped by sum
    DenseTable,  ///< counting only: the number of inner combinations for each reachable sum
    Join,        ///< a whole box at once: both halves' sums partitioned by hash and joined in the cache
    Sweep,       ///< a whole box at once: both halves' sorted sums swept window by window of sums
};

struct FastSearchOptions {
    InnerMethod method = InnerMethod::Automatic;
    int tableTerms = 4; ///< inner terms in a forced table: 1..4 for SparseTable, 1..8 for DenseTable
    /// Memory bounds: a table that would exceed them is not built (a forced method then falls back to
    /// the automatic choice within the same bounds). 2^23 entries take at most 160 MB, 2^22 keys 128 MB.
    double maxSparseEntries = double(1 << 23);
    double maxDenseKeys = double(1 << 22);
    /// Solutions that a term of weight 0 keeps to repeat them for its other values (20 bytes each);
    /// beyond it, the terms below are searched again for each value.
    std::size_t maxRecordedSolutions = std::size_t{1} << 20;
    /// Runs of table matches are written with 64-byte stores where the processor has them; false keeps
    /// to 16-byte stores, so that tests reach both ways on such a processor.
    bool wideStores = true;
    /// The join's memory, in bytes: 0 takes 1 GiB, or a quarter of physical memory when that is less.
    /// Where a setup needs more, the join takes the outer terms in chunks or the cost estimate passes it by.
    std::size_t joinMemory = 0;
    int joinThreads = 2; ///< 1 or 2; the results do not depend on it
    /// The most one chunk of a sweep's listing may hold, in bytes; 0: what the join's memory allows.
    /// Tests set it small, so that a listing goes in many chunks.
    std::size_t joinChunkBytes = 0;
    /// A listing that the join would take starts with the recursion, so that its first solutions come
    /// at once; the join takes the rest when the recursion's work is not paid for by its solutions.
    /// 0: judged by time (not for a forced join); n > 0: the join takes over after n checks, also a
    /// forced one (tests); -1: no head start.
    int headChecks = 0;
    /// Told how far the search has got, now and then; may be null.
    SearchProgress* progress = nullptr;
};

/// The fast engine: the solutions and overflow stop of referenceSearch, found without visiting every
/// combination. The first overflowing combination is located first (bisection on the fifteen
/// intermediate values); the combinations before it form at most eight boxes, searched in order with
/// exact 64-bit sums: bounded recursion from term 8 down, each term's values limited to those that
/// leave a remainder the terms below can reach (range and gcd), down to a table of the inner terms'
/// sums (meet in the middle) or to terms 2 and 1 solved together. Where the range and gcd narrow
/// little, a box is joined whole instead: the sums of its inner and outer terms swept window by window
/// of sums, or partitioned by hash, in time that follows the combinations of each half and the
/// solutions. A cost estimate chooses per box. Memory is bounded by the table caps and the join's
/// memory in FastSearchOptions; a join without the memory it needs leaves the box to the recursion.
void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options = {});

/// The count that fastSearch (or referenceSearch) would hand on, without listing the solutions.
SearchCount fastCount(const SearchSetup& setup, const FastSearchOptions& options = {});

} // namespace velmora
