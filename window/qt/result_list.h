#pragma once

#include "window/commands/list_cursor.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

namespace velmora {

class RowStore;

/// One list box of the result columns: a single column of text items over one column of the shared row
/// store, in insertion order, drawing only the rows in view. At most one item is selected; a vertical
/// scroll bar shows when the items do not fit; there is no horizontal scrolling, and a wide item is cut
/// at the right edge. Each list scrolls and selects on its own. As a system list box, it takes a typed
/// character to the next item that starts with it and lets a drag with the button held move the selection,
/// scrolling on a timer while the pointer is held above or below it (window/commands/list_cursor.h).
class ResultList final : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// Shows `column` of `store` (0: the sums, 1..8: the values of terms 1..8).
    ResultList(const RowStore& store, int column, QWidget* parent = nullptr);

    /// Takes in the store's new row count, after rows were appended or removed.
    void rowsChanged();

    int rowCount() const { return m_rowCount; }
    /// The selected item, or -1 when none is.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);
    int topRow() const;
    /// The number of rows that fit whole in the list's height.
    int pageRows() const;
    int rowHeight() const;
    QString itemText(int row) const;
    /// Where item `row` is drawn, in the viewport's coordinates (outside the viewport when scrolled away).
    QRect itemRect(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateScrollBar();
    void scrollTo(int row);
    void drag(int y);
    ListPlace place() const { return {m_rowCount, m_currentRow, topRow(), pageRows()}; }
    void announceCurrentRow();

    const RowStore& m_store;
    int m_column = 0;
    int m_rowCount = 0;
    int m_currentRow = -1;
    QBasicTimer m_dragTimer; // runs while a drag is held above or below the list
    int m_dragY = 0;         // where the pointer was last seen while dragging
};

} // namespace velmora
