#include "window/commands/list_cursor.h"

#include "window/commands/list_texts.h"
#include "window/commands/row_store.h"

#include <algorithm>

namespace velmora {

int rowAfterKey(const ListPlace& list, ListKey key) {
    if (list.rowCount <= 0)
        return -1;
    const int page = std::max(1, list.pageRows - 1);
    const int current = list.current;
    int row = current;
    switch (key) {
    case ListKey::Up:
        row = current < 0 ? 0 : current - 1;
        break;
    case ListKey::Down:
        row = current + 1;
        break;
    case ListKey::PageUp:
        row = current < 0 ? 0 : current - page;
        break;
    case ListKey::PageDown:
        row = current < 0 ? page : current + page;
        break;
    case ListKey::Home:
        row = 0;
        break;
    case ListKey::End:
        row = list.rowCount - 1;
        break;
    }
    return std::clamp(row, 0, list.rowCount - 1);
}

int topRowShowing(const ListPlace& list, int row) {
    if (row < list.top)
        return row;
    if (row >= list.top + list.pageRows)
        return row - list.pageRows + 1;
    return list.top;
}

int rowAtPointer(const ListPlace& list, int y, int rowHeight) {
    if (y < 0 || rowHeight <= 0)
        return -1;
    const long long row = static_cast<long long>(list.top) + y / rowHeight;
    return row < list.rowCount ? static_cast<int>(row) : -1;
}

int rowWhileDragging(const ListPlace& list, int y, int rowHeight, int viewHeight) {
    if (list.rowCount <= 0)
        return -1;
    long long row = 0;
    if (y < 0)
        row = static_cast<long long>(list.top) - 1;
    else if (y >= viewHeight)
        row = static_cast<long long>(list.top) + list.pageRows;
    else
        row = static_cast<long long>(list.top) + y / std::max(1, rowHeight);
    return static_cast<int>(std::clamp<long long>(row, 0, list.rowCount - 1));
}

int nextRowStartingWith(const RowStore& store, int column, const ListPlace& list, char32_t typed) {
    if (typed != U'-' && (typed < U'0' || typed > U'9'))
        return -1;
    const int count = list.rowCount;
    for (int step = 1; step <= count; ++step) {
        const int row = static_cast<int>((static_cast<long long>(list.current) + step + count) % count);
        if (static_cast<char32_t>(leadingCharacter(store.cell(static_cast<std::size_t>(row), column))) == typed)
            return row;
    }
    return -1;
}

} // namespace velmora
