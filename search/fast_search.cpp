// The fast engine's two entry points. The engine itself lives in search/fast/, one idea a unit:
// - box.h: the boxes before the overflow stop, and what the recursion knows of each term (Level);
//   arithmetic.h (floor division, modular inverse, exact divisor), packed_values.h (values as lanes);
// - box_search.h: the search of one box, by the recursion down to a table or to terms 2 and 1, with
//   in box_search_head.cpp the head start that lists a box the join would take until the join is
//   worth its preparation, and the progress of the recursion;
// - cost_model.h: every estimated cost of the engine, which choose per box: the recursion and the
//   tables (planInner), the join's split and way (planJoin), and a sweep's chunks (sweepChunks);
// - sparse_table.h (with sparse_table_keyed.cpp, sparse_table_hashed.cpp, hashed_enumeration.h) and
//   dense_table.h (with sliding_window.h): the tables of the inner terms' sums; table_allocator.h;
// - join.h: the join of a whole box's inner and outer sums, planned once per box; join_parts.h (term
//   runs, sides, the scatter), join_buffer.h (uninitialised buffers), key_table.h (the in-cache key
//   table), join_threads.h (one thread or two); join_sweep.h (the sweep over sorted sums that counts)
//   and join_sweep_list.cpp (its listing, in phases: join_sweep_chunks.h plans its chunks,
//   join_sweep_emit.h hands on their solutions, from the second thread through block_ring.h, their
//   values from run_lookup.h);
// - emitter.h: where the solutions go, through record_writer.h (narrow_writer.h, and the 64-byte
//   wide_writer.cpp with simd.h);
// - progress.h: how far the search has got, for a SearchProgress.
#include "search/fast_search.h"

#include "search/fast/box.h"
#include "search/fast/box_search.h"
#include "search/fast/emitter.h"
#include "search/fast/progress.h"
#include "search/overflow_stop.h"
#include "search/run_time_error.h"

#include <algorithm>
#include <optional>

namespace velmora {
namespace {

// The head start's time: a tenth of the join's estimate, within these bounds.
constexpr double kHeadMinNs = 2e6;
constexpr double kHeadMaxNs = 100e6;
// Its table is kept small, so that it is built at once in little memory.
constexpr double kHeadTableEntries = double(1 << 18);

bool wantsHeadStart(const FastSearchOptions& options) {
    if (options.headChecks < 0)
        return false;
    return options.method == InnerMethod::Automatic || options.headChecks > 0;
}

// Lists one box. Where the join takes it, the recursion starts it (the head start), so that the first
// solutions come at once and a box whose solutions pay for the recursion's work never waits for the
// join; the join lists the rest, or without its memory the recursion does.
void listBox(const SearchSetup& setup, const fast::Box& box, const FastSearchOptions& options, fast::Emitter& out,
             fast::TableCache& cache, fast::ProgressReporter& progress) {
    fast::BoxSearch search(setup, box, options, false, cache, true, &progress);
    if (!search.joinChosen()) {
        search.list(out, setup.target);
        return;
    }
    std::optional<Combination> from;
    FastSearchOptions recursion = options;
    recursion.method = InnerMethod::Automatic;
    recursion.maxSparseEntries = std::min(options.maxSparseEntries, kHeadTableEntries);
    if (wantsHeadStart(options)) {
        fast::BoxSearch head(setup, box, recursion, false, cache, false, &progress);
        const double budget = std::clamp(search.joinCostNs() / 10, kHeadMinNs, kHeadMaxNs);
        from = head.listHead(out, setup.target, search.joinInnerTerms(), options.headChecks, budget);
        if (!from)
            return;
    }
    out.idle(); // what is found reaches the reader before the join prepares
    progress.startBox(progress.boxStart(), progress.boxSize(), SolutionCount(out.produced()));
    if (search.listByJoin(out, from ? &*from : nullptr))
        return;
    if (!from) {
        search.list(out, setup.target);
        return;
    }
    for (const fast::Box& rest : fast::boxesFrom(box, *from)) {
        fast::BoxSearch part(setup, rest, recursion, false, cache, false, &progress);
        part.list(out, setup.target);
    }
}

double combinationsOf(const fast::Box& box) {
    double n = 1;
    for (int k = 0; k < fast::kTerms; ++k)
        n *= fast::rangeSize(box, k);
    return n;
}

double combinationsOf(const std::vector<fast::Box>& boxes) {
    double n = 0;
    for (const fast::Box& box : boxes)
        n += combinationsOf(box);
    return n;
}

} // namespace

void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    fast::Emitter out(sink, setup.target, options.wideStores);
    fast::TableCache cache;
    const std::vector<fast::Box> boxes = fast::boxesBefore(setup, stop);
    fast::ProgressReporter progress(options.progress, combinationsOf(boxes));
    double before = 0;
    for (const fast::Box& box : boxes) {
        progress.startBox(before, combinationsOf(box), SolutionCount(out.produced()));
        listBox(setup, box, options, out, cache, progress);
        before += combinationsOf(box);
    }
    out.flush();
    if (stop)
        throw RunTimeError::overflow();
}

SearchCount fastCount(const SearchSetup& setup, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    SearchCount result;
    result.overflow = stop.has_value();
    fast::TableCache cache;
    const std::vector<fast::Box> boxes = fast::boxesBefore(setup, stop);
    fast::ProgressReporter progress(options.progress, combinationsOf(boxes));
    double before = 0;
    for (const fast::Box& box : boxes) {
        progress.startBox(before, combinationsOf(box), result.solutions);
        fast::BoxSearch search(setup, box, options, true, cache, true, &progress);
        SolutionCount joined;
        result.solutions += search.countByJoin(joined) ? joined : search.count(setup.target);
        before += combinationsOf(box);
    }
    return result;
}

} // namespace velmora
