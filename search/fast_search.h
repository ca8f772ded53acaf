#pragma once

#include "search/combination_search.h"
#include "search/solution_count.h"

namespace velmora {

/// How the fast engine solves the inner terms. `Automatic` lets a cost estimate choose per box; the
/// others force one way so that tests and benchmarks reach each of them on any setup.
enum class InnerMethod {
    Automatic,
    Recursion,   ///< bounded recursion, terms 1 and 2 solved together as an arithmetic progression
    SparseTable, ///< meet in the middle: every combination of the inner terms, grouped by sum
    DenseTable,  ///< counting only: the number of inner combinations for each reachable sum
};

struct FastSearchOptions {
    InnerMethod method = InnerMethod::Automatic;
    int tableTerms = 4; ///< inner terms in a forced table: 1..4 for SparseTable, 1..8 for DenseTable
    /// Memory bounds: a table that would exceed them is not built (a forced method then falls back to
    /// the automatic choice within the same bounds). 2^23 entries take at most 160 MB, 2^22 keys 128 MB.
    double maxSparseEntries = double(1 << 23);
    double maxDenseKeys = double(1 << 22);
};

/// The fast engine: the solutions and overflow stop of referenceSearch, found without visiting every
/// combination. The stop is located first; then only the combinations before it are searched.
void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options = {});

/// The count that fastSearch (or referenceSearch) would hand on, without listing the solutions.
SearchCount fastCount(const SearchSetup& setup, const FastSearchOptions& options = {});

} // namespace velmora
