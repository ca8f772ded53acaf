#include "search/combination_search.h"

#include "search/fast_search.h"

namespace velmora {

void combinationSearch(const SearchSetup& setup, SolutionSink& sink, SearchEngine engine, SearchProgress* progress) {
    switch (engine) {
    case SearchEngine::Reference:
        referenceSearch(setup, sink);
        return;
    case SearchEngine::Fast:
        fastSearch(setup, sink, FastSearchOptions{.progress = progress});
        return;
    }
}

SearchCount countSolutions(const SearchSetup& setup, SearchProgress* progress) {
    return fastCount(setup, FastSearchOptions{.progress = progress});
}

} // namespace velmora
