#include "search/combination_search.h"
#include "search/run_time_error.h"
#include "search/solution_batch.h"

#include <cstdint>

namespace velmora {
namespace {

// Signed 32-bit operations that report overflow instead of wrapping.
inline bool checkedMul(std::int32_t a, std::int32_t b, std::int32_t& out) { return !__builtin_mul_overflow(a, b, &out); }
inline bool checkedAdd(std::int32_t a, std::int32_t b, std::int32_t& out) { return !__builtin_add_overflow(a, b, &out); }

// Evaluates one combination; false on overflow. `sum` holds the weighted sum on success.
bool evaluate(const SearchSetup& setup, const std::int32_t (&v)[8], std::int32_t& sum) {
    std::int32_t t[8];
    for (int k = 0; k < 8; ++k)
        if (!checkedMul(setup.terms[static_cast<std::size_t>(k)].weight, v[k], t[k]))
            return false;
    std::int32_t first = 0;
    std::int32_t second = 0;
    if (!checkedAdd(t[0], t[1], first) || !checkedAdd(first, t[2], first) || !checkedAdd(first, t[3], first))
        return false;
    if (!checkedAdd(t[4], t[5], second) || !checkedAdd(second, t[6], second) || !checkedAdd(second, t[7], second))
        return false;
    return checkedAdd(second, first, sum);
}

} // namespace

void referenceSearch(const SearchSetup& setup, SolutionSink& sink) {
    const auto& T = setup.terms;
    // A term without values leaves no combination at all; the loops around it would only spin.
    for (const TermSpec& term : T)
        if (term.first > term.last)
            return;
    SolutionBatch batch(sink);
    // Counters are 32-bit, so stepping past 32767 ends the loop instead of overflowing.
    std::int32_t v[8];
    for (v[7] = T[7].first; v[7] <= T[7].last; ++v[7])
        for (v[6] = T[6].first; v[6] <= T[6].last; ++v[6])
            for (v[5] = T[5].first; v[5] <= T[5].last; ++v[5])
                for (v[4] = T[4].first; v[4] <= T[4].last; ++v[4])
                    for (v[3] = T[3].first; v[3] <= T[3].last; ++v[3])
                        for (v[2] = T[2].first; v[2] <= T[2].last; ++v[2])
                            for (v[1] = T[1].first; v[1] <= T[1].last; ++v[1])
                                for (v[0] = T[0].first; v[0] <= T[0].last; ++v[0]) {
                                    std::int32_t sum = 0;
                                    if (!evaluate(setup, v, sum)) {
                                        batch.flush();
                                        throw RunTimeError::overflow();
                                    }
                                    if (sum == setup.target) {
                                        Solution& s = batch.next();
                                        s.sum = sum;
                                        for (int k = 0; k < 8; ++k)
                                            s.values[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(v[k]);
                                    }
                                }
    batch.flush();
}

} // namespace velmora
