#pragma once
// The search of one box of combinations, listing or counting.

#include "search/fast/box.h"
#include "search/fast/dense_table.h"
#include "search/fast/emitter.h"
#include "search/fast/join.h"
#include "search/fast/progress.h"
#include "search/fast/sparse_table.h"
#include "search/fast_search.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::fast {

// Tables outlive one box: the boxes before an overflow stop share the inner ranges of the full setup.
struct TableCache {
    std::unique_ptr<SparseTable> sparse;
    std::unique_ptr<DenseTable> dense;
};

// Terms 8..m+1 by bounded recursion, terms m..1 by a table (when m > 0) or, without a table, terms 2
// and 1 together as an arithmetic progression. The cost model chooses m and the table.
class BoxSearch {
public:
    /// `mayJoin` false keeps the whole box to the recursion and its tables.
    BoxSearch(const SearchSetup& setup, const Box& box, const FastSearchOptions& options, bool counting,
              TableCache& cache, bool mayJoin = true, ProgressReporter* progress = nullptr);

    void list(Emitter& out, std::int32_t target);

    /// Lists the box from its start for as long as its solutions pay for the recursion's work (or,
    /// with `checks` > 0, for that many checks of it): nothing when the whole box was listed, else the
    /// combination from which the rest is to be listed. That combination's terms 1..`freeTerms` hold
    /// their first values: the recursion stops only between combinations of terms freeTerms+1..8.
    std::optional<Combination> listHead(Emitter& out, std::int32_t target, int freeTerms, int checks,
                                        double budgetNs);
    SolutionCount count(std::int32_t target) { return countFrom(kTerms, target); }

    // Where the cost model chose the join for the whole box: the box listed or counted by it. False
    // when it was not chosen, or found no memory; the box is then left to list() or count(), which take
    // the recursion. Out of line, so that the recursion's code is laid out as it is without the join.
    bool listByJoin(Emitter& out, const Combination* from = nullptr);
    bool countByJoin(SolutionCount& count);

    bool joinChosen() const { return m_method == InnerMethod::Join; }
    /// The join's inner terms 1..m, where it was chosen.
    int joinInnerTerms() const { return m_joinState ? m_joinState->plan.m : 0; }
    double joinCostNs() const { return m_joinState ? m_joinState->plan.cost : 0; }

private:
    bool chooseJoin(const FastSearchOptions& options, bool counting, std::int32_t target, double estimateNs);
    void useRecursion();

    void setValue(int k, std::int64_t value) { setLane(m_low, m_high, k, value); }

    template <class Visit>
    void forEachProbe(const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last, Visit&& visit);
    void emitMatches(const SparseTable::Probe& probe);
    void replay(const std::vector<Solution>& found, int k, std::int32_t value);
    bool listKeyedRuns(int k, const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last);
    void listFrom(int k, std::int64_t rest);
    void listFreeTerm(int k, const Level& L, std::int64_t rest);
    void check(int k, std::int64_t value);
    double shareBefore(int k, std::int64_t value) const;
    void useCheckLevel() { m_checkLevel = std::min(m_headLevel, m_progress ? kTerms - 2 : kTerms); }
    SolutionCount countFrom(int k, std::int64_t rest);

    Box m_box;
    std::array<std::int64_t, kTerms> m_weights{};
    std::array<Level, kTerms> m_levels{};
    InnerMethod m_method = InnerMethod::Recursion;
    int m_tableTerms = 0;
    bool m_pairLeaf = false;
    std::size_t m_maxRecord = 0;
    const SparseTable* m_sparse = nullptr;
    const DenseTable* m_dense = nullptr;
    Emitter* m_out = nullptr;
    std::uint64_t m_low = 0;  // values of terms 1..4 as 16-bit lanes
    std::uint64_t m_high = 0; // values of terms 5..8
    // The join's box and limits, held apart so that the recursion's members keep their places.
    struct JoinState {
        JoinBox box;
        JoinLimits limits;
        JoinPlan plan;
    };
    std::unique_ptr<JoinState> m_joinState;
    // The head start: checks in the loops over the values of terms above m_headLevel.
    struct HeadState {
        int checks = 0;       // > 0: stop after that many checks
        double budgetNs = 0;  // else: stop once this much time has gone by with too few solutions
        int count = 0;
        std::uint64_t producedBefore = 0;
        std::uint64_t producedLast = 0; // at the last reading of the clock
        double start = 0; // the calling thread's time, in ns
        double last = 0;
        Combination stop{};
    };
    int m_headLevel = kTerms;
    HeadState m_head;
    // Checks (progress, head start) run in the loops over the values of terms above this one.
    int m_checkLevel = kTerms;
    ProgressReporter* m_progress = nullptr;
    std::uint64_t m_producedBefore = 0; // when the box started
};

} // namespace velmora::fast
