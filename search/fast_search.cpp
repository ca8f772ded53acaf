// The fast engine's two entry points. The engine itself lives in search/fast/: the boxes before the
// overflow stop (box.h), each searched by BoxSearch (box_search.h) with the inner method that the
// cost model chooses (cost_model.h), a sparse or dense table of the inner terms (sparse_table.h,
// dense_table.h) or, for a whole box, a join of its inner and outer terms' sums (join.h), and an emitter
// that writes the records (emitter.h, record_writer.h).
#include "search/fast_search.h"

#include "search/fast/box.h"
#include "search/fast/box_search.h"
#include "search/fast/emitter.h"
#include "search/overflow_stop.h"
#include "search/run_time_error.h"

#include <optional>

namespace velmora {

void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    fast::Emitter out(sink, setup.target, options.wideStores);
    fast::TableCache cache;
    for (const fast::Box& box : fast::boxesBefore(setup, stop)) {
        fast::BoxSearch search(setup, box, options, false, cache);
        if (!search.listByJoin(out))
            search.list(out, setup.target);
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
    for (const fast::Box& box : fast::boxesBefore(setup, stop)) {
        fast::BoxSearch search(setup, box, options, true, cache);
        SolutionCount joined;
        result.solutions += search.countByJoin(joined) ? joined : search.count(setup.target);
    }
    return result;
}

} // namespace velmora
