#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

/// One term of the sum: its weight, an inclusive range of values and the heading shown over its column.
/// `first` may exceed `last`; the term then has no values.
struct TermSpec {
    std::int32_t weight = 0;
    std::int16_t first = 0;
    std::int16_t last = 0;
    std::string heading; // UTF-8; the search never reads it
};

/// The one problem the program solves: a target sum and eight terms.
/// terms[0] is term 1 (heading in Label2, values in List2) ... terms[7] is term 8 (Label9, List9).
struct SearchSetup {
    static constexpr int kTermCount = 8;

    std::int32_t target = 0;
    std::array<TermSpec, kTermCount> terms{};

    TermSpec& term(int number) { return terms.at(static_cast<std::size_t>(number - 1)); }
    const TermSpec& term(int number) const { return terms.at(static_cast<std::size_t>(number - 1)); }
};

} // namespace velmora
