#pragma once

#include "search/combination_search.h"
#include "window/commands/row_store.h"

namespace velmora {

/// The nine lists List1 ... List9 taken together, over one row store: row r of every list shows the r-th
/// solution appended, its sum in List1 and the value of term k in the list of term k. As the search's
/// sink it only stores rows; the window's lists draw them from the store once the search is over.
class ResultColumns final : public SolutionSink {
public:
    static constexpr int kListCount = RowStore::kColumnCount;

    explicit ResultColumns(std::size_t rowLimit = RowStore::kDefaultLimit) : m_store(rowLimit) {}

    /// Appends the solutions as rows; throws RunTimeError 7 when the store is full, keeping what fitted.
    void accept(std::span<const Solution> solutions) override { m_store.append(solutions); }
    /// Removes every row from all nine lists.
    void clear() { m_store.clear(); }

    std::size_t rowCount() const { return m_store.size(); }
    const RowStore& store() const { return m_store; }

private:
    RowStore m_store;
};

} // namespace velmora
