#pragma once

// One list box of the result columns, a window class of our own over one column of the shared row store:
// the list keeps no copy of the rows and draws only those in view. A system list box cannot serve here:
// its scroll messages carry 16-bit positions, and a thumb dragged over 10^7 rows stops at row 38,504;
// this one reads the 32-bit track position instead. A single column of text items in insertion order, at
// most one selected; a vertical scroll bar only when the items do not fit; no horizontal scrolling, a
// wide item cut at the right edge. Arrows, Page Up/Down, Home, End, the wheel, a typed character (the next
// row that starts with it) and dragging with the button held move the selection (window/commands/
// list_cursor.h); held above or below the list, the drag goes on scrolling on a timer. A focus frame shows
// while the list has the focus, even when it is empty. Each list scrolls and selects on its own. A screen
// reader finds the list, by its name, and its rows through WM_GETOBJECT (accessible_controls.h); the
// selected row is announced as it moves.

#include "window/commands/list_cursor.h"
#include "window/win32/accessible_controls.h"
#include "window/win32/window_class.h"

#include <windows.h>

#include <string>

namespace velmora {

class RowStore;

class ResultList final : private WindowOwner {
public:
    /// The lists' window class; registered once per program.
    static void registerClass(HINSTANCE instance);

    /// Creates the list as child `id` of `parent` over `column` of `store` (0: the sums, 1..8: the values
    /// of terms 1..8), its outer box `box` (the border included) in the parent's client area.
    ResultList(HWND parent, const RECT& box, int id, const RowStore& store, int column, HFONT font);
    ~ResultList();
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    using WindowOwner::hwnd;

    /// Takes in the store's new row count, after rows were appended or removed.
    void rowsChanged();

    int rowCount() const { return m_rowCount; }
    /// The selected item, or -1 when none is.
    int currentRow() const { return m_currentRow; }
    int topRow() const { return m_topRow; }
    /// The number of rows that fit whole in the list's height.
    int pageRows() const;
    int rowHeight() const { return m_rowHeight; }
    std::wstring itemText(int row) const;
    /// Selects `row` (clamped to the rows) and scrolls it into view, as the keyboard does.
    void selectRow(int row) { setCurrentRow(row); }

    /// What a screen reader calls the list; a change is announced.
    void setAccessibleName(std::wstring name);
    const std::wstring& accessibleName() const { return m_name; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void windowGone() override { m_accessible.disconnect(); }
    ListPlace place() const { return {m_rowCount, m_currentRow, m_topRow, pageRows()}; }

    void paint();
    void keyDown(WPARAM key);
    void typed(wchar_t character);
    void verticalScroll(int code);
    void wheel(int delta);
    void drag(int y);
    void stopDragging();
    void setCurrentRow(int row);
    void announceCurrentRow() const;
    void scrollTo(int top);
    void updateScrollBar();
    int maxTopRow() const;
    RECT rowBox(int row) const;

    const RowStore& m_store;
    int m_column = 0;
    HFONT m_font = nullptr;
    int m_rowHeight = 16;
    int m_rowCount = 0;
    int m_topRow = 0;
    int m_currentRow = -1;
    int m_wheelRest = 0; // wheel movement short of a whole notch
    bool m_dragging = false; // the button went down in the list and is still held
    int m_dragY = 0;         // where the pointer was last seen while dragging
    std::wstring m_name;
    AccessibleSlot m_accessible; // what a screen reader reads: the list and its rows
};

} // namespace velmora
