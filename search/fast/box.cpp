#include "search/fast/box.h"

#include <numeric>

namespace velmora::fast {

std::vector<Box> boxesBefore(const SearchSetup& setup, const std::optional<Combination>& stop) {
    Box full;
    for (std::size_t k = 0; k < kTerms; ++k) {
        full.lo[k] = setup.terms[k].first;
        full.hi[k] = setup.terms[k].last;
        if (full.lo[k] > full.hi[k])
            return {};
    }
    if (!stop)
        return {full};
    std::vector<Box> boxes;
    Box box = full;
    for (std::size_t j = kTerms; j-- > 0;) {
        box.hi[j] = (*stop)[j] - 1;
        if (box.lo[j] <= box.hi[j])
            boxes.push_back(box);
        box.lo[j] = box.hi[j] = (*stop)[j];
    }
    return boxes;
}

std::vector<Box> boxesFrom(const Box& box, const Combination& from) {
    std::vector<Box> boxes;
    for (std::size_t j = 0; j < kTerms; ++j) {
        Box part = box;
        for (std::size_t above = j + 1; above < kTerms; ++above)
            part.lo[above] = part.hi[above] = from[above];
        part.lo[j] = from[j] + (j == 0 ? 0 : 1);
        if (part.lo[j] <= part.hi[j])
            boxes.push_back(part);
    }
    return boxes;
}

std::array<Level, kTerms> levelsOf(const Box& box, const std::array<std::int64_t, kTerms>& weights) {
    std::array<Level, kTerms> levels{};
    std::int64_t innerMin = 0, innerMax = 0, innerGcd = 0;
    for (int k = 0; k < kTerms; ++k) {
        Level& L = levels[static_cast<std::size_t>(k)];
        L.weight = weights[static_cast<std::size_t>(k)];
        L.lo = box.lo[static_cast<std::size_t>(k)];
        L.hi = box.hi[static_cast<std::size_t>(k)];
        L.innerMin = innerMin;
        L.innerMax = innerMax;
        L.innerGcd = innerGcd;
        if (L.weight != 0 && innerGcd != 0) {
            L.divisor = std::gcd(L.weight, innerGcd);
            L.modulus = innerGcd / L.divisor;
            if (L.modulus > 1)
                L.inverse = inverseMod(L.weight / L.divisor, L.modulus);
        }
        innerMin += productMin(L.weight, box, k);
        innerMax += productMax(L.weight, box, k);
        innerGcd = std::gcd(innerGcd, L.weight);
    }
    return levels;
}

} // namespace velmora::fast
