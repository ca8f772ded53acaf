#pragma once

#include "search/combination_search.h"
#include "window/row_store.h"

#include <array>

namespace velmora {

class ResultList;

/// The nine lists List1 ... List9 taken together, over one row store: row r of every list shows the r-th
/// solution appended, its sum in List1 and the value of term k in the list of term k. As the search's
/// sink it only stores rows; showRows() then brings the lists up to date, once, when the search is over.
class ResultColumns final : public SolutionSink {
public:
    static constexpr int kListCount = RowStore::kColumnCount;

    explicit ResultColumns(std::size_t rowLimit = RowStore::kDefaultLimit) : m_store(rowLimit) {}

    /// Attaches the list that shows `column` (0 for List1 ... 8 for List9).
    void attach(int column, ResultList* list);

    /// Appends the solutions as rows; throws RunTimeError 7 when the store is full, keeping what fitted.
    void accept(std::span<const Solution> solutions) override;
    /// Tells the lists about the rows appended since the last call.
    void showRows();
    /// Removes every row from all nine lists.
    void clear();

    std::size_t rowCount() const { return m_store.size(); }
    const RowStore& store() const { return m_store; }

private:
    RowStore m_store;
    std::array<ResultList*, kListCount> m_lists{};
};

} // namespace velmora
