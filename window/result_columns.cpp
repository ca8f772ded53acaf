#include "window/result_columns.h"

#include "window/result_list.h"

namespace velmora {

void ResultColumns::attach(int column, ResultList* list) { m_lists.at(static_cast<std::size_t>(column)) = list; }

void ResultColumns::accept(std::span<const Solution> solutions) { m_store.append(solutions); }

void ResultColumns::showRows() {
    for (ResultList* list : m_lists)
        if (list)
            list->rowsChanged();
}

void ResultColumns::clear() {
    m_store.clear();
    showRows();
}

} // namespace velmora
