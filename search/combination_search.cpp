#include "search/combination_search.h"

#include "search/fast_search.h"

namespace velmora {

void combinationSearch(const SearchSetup& setup, SolutionSink& sink, SearchEngine engine) {
    switch (engine) {
    case SearchEngine::Reference:
        referenceSearch(setup, sink);
        return;
    case SearchEngine::Fast:
        fastSearch(setup, sink);
        return;
    }
}

SearchCount countSolutions(const SearchSetup& setup) { return fastCount(setup); }

} // namespace velmora
