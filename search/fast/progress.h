#pragma once
// The engine's side of SearchProgress: where the work stands, reported at most every tenth of a second.

#include "search/search_progress.h"

#include <chrono>
#include <cstdint>

namespace velmora::fast {

class ProgressReporter {
public:
    /// `to` may be null: nothing is reported, and every call returns at its first test.
    ProgressReporter(SearchProgress* to, double totalCombinations) : m_to(to), m_total(totalCombinations) {}

    bool wanted() const { return m_to != nullptr; }
    double boxStart() const { return m_before; }
    double boxSize() const { return m_box; }

    /// A box of `combinations` starts after `before` combinations, with `found` solutions so far.
    void startBox(double before, double combinations, const SolutionCount& found) {
        m_before = before;
        m_box = combinations;
        m_found = found;
    }

    /// `share` of the current box is done, with `more` solutions found in it so far.
    void within(double share, std::uint64_t more = 0) {
        if (!m_to)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        const double done = m_total > 0 ? (m_before + share * m_box) / m_total : 1;
        m_to->report(done < 0 ? 0 : done > 1 ? 1 : done, m_found + SolutionCount(more));
    }

private:
    SearchProgress* m_to;
    double m_total;
    double m_before = 0;
    double m_box = 0;
    SolutionCount m_found;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace velmora::fast
