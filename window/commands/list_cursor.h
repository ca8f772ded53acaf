#pragma once

// How a result list moves its selection and its view, as a system list box does, for both windows: each
// window turns its keys and mouse events into these calls and draws what they decide.

#include <chrono>

namespace velmora {

class RowStore;

/// The keys that move a list's selection.
enum class ListKey { Up, Down, PageUp, PageDown, Home, End };

/// A list as the rules see it: its rows, the selected row (-1: none), the top row in view and how many
/// rows fit whole in the view (at least one).
struct ListPlace {
    int rowCount = 0;
    int current = -1;
    int top = 0;
    int pageRows = 1;
};

/// The row `key` selects, within the rows; -1 when the list is empty. A page moves by one row less than
/// fit, so that one row stays in view; with nothing selected, Up, Page Up and Down select the first row
/// and Page Down the row a page below it.
int rowAfterKey(const ListPlace& list, ListKey key);

/// The top row that brings `row` into view, scrolling as little as it can.
int topRowShowing(const ListPlace& list, int row);

/// The row a click at `y` pixels from the top of the view lands on, or -1 below the last row.
int rowAtPointer(const ListPlace& list, int y, int rowHeight);

/// While the button is held: the row under the pointer in the view; above the view the row before the
/// first in view and below it the row after the last, so that each step there scrolls one row. Within the
/// rows; -1 when the list is empty.
int rowWhileDragging(const ListPlace& list, int y, int rowHeight, int viewHeight);

/// True while a held pointer at `y` stands above or below the view: the list then keeps moving the
/// selection one row every kDragScrollInterval, moving or not, until the button is released.
constexpr bool dragScrolls(int y, int viewHeight) { return y < 0 || y >= viewHeight; }
inline constexpr std::chrono::milliseconds kDragScrollInterval{50};

/// Type-ahead: the next row after the selected one, going round past the end, whose text in `column`
/// starts with `typed`; -1 when none does. Rows are numbers, so only '-' and the digits can match.
int nextRowStartingWith(const RowStore& store, int column, const ListPlace& list, char32_t typed);

} // namespace velmora
