#include "window/qt/result_list.h"

#include "window/commands/list_texts.h"
#include "window/commands/row_store.h"
#include "window/qt/accessible_controls.h"

#include <QAccessible>
#include <QHash>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace velmora {

namespace {
constexpr int kTextMargin = 2; // pixels between the list's inner edge and an item's text
} // namespace

ResultList::ResultList(const RowStore& store, int column, QWidget* parent)
    : QAbstractScrollArea(parent), m_store(store), m_column(column) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    updateScrollBar();
    installAccessibleControls();
}

int ResultList::rowHeight() const { return std::max(1, fontMetrics().height()); }

int ResultList::pageRows() const { return std::max(1, viewport()->height() / rowHeight()); }

int ResultList::topRow() const { return verticalScrollBar()->value(); }

QRect ResultList::itemRect(int row) const {
    return QRect(0, (row - topRow()) * rowHeight(), viewport()->width(), rowHeight());
}

QString ResultList::itemText(int row) const {
    return QString::fromStdString(cellText(m_store, static_cast<std::size_t>(row), m_column));
}

void ResultList::rowsChanged() {
    m_rowCount = static_cast<int>(m_store.size());
    if (m_currentRow >= m_rowCount)
        m_currentRow = -1;
    updateScrollBar();
    viewport()->update();
}

void ResultList::updateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    const int page = pageRows();
    bar->setRange(0, std::max(0, m_rowCount - page));
    bar->setPageStep(page);
    bar->setSingleStep(1);
}

void ResultList::setCurrentRow(int row) {
    if (m_rowCount == 0)
        return;
    const int previous = m_currentRow;
    m_currentRow = std::clamp(row, 0, m_rowCount - 1);
    scrollTo(m_currentRow);
    viewport()->update();
    if (m_currentRow != previous)
        announceCurrentRow();
}

// Tells a screen reader that the selected (and, with the focus here, the focused) item moved.
void ResultList::announceCurrentRow() {
    if (!QAccessible::isActive() || m_currentRow < 0)
        return;
    QAccessibleEvent selection(this, QAccessible::Selection);
    selection.setChild(m_currentRow);
    QAccessible::updateAccessibility(&selection);
    if (hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(m_currentRow);
        QAccessible::updateAccessibility(&focus);
    }
}

void ResultList::scrollTo(int row) { verticalScrollBar()->setValue(topRowShowing(place(), row)); }

void ResultList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = rowHeight();
    const int top = topRow();
    const int last = std::min(m_rowCount, top + viewport()->height() / height + 1);
    const int width = viewport()->width();
    const QPalette& colours = palette();
    for (int row = top; row < last; ++row) {
        const QRect box(0, (row - top) * height, width, height);
        const bool selected = row == m_currentRow;
        if (selected)
            painter.fillRect(box, colours.brush(QPalette::Highlight));
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        // No eliding: a number wider than the list is cut at its right edge, the painter's clip.
        painter.drawText(box.adjusted(kTextMargin, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         itemText(row));
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        // The focus frame marks the selected item, or the first item while none is selected.
        // An empty list shows the frame where its first item would stand, as a system list box does.
        const int row = std::max(m_currentRow, 0);
        option.rect = itemRect(row);
        option.backgroundColor = colours.color(m_currentRow >= 0 ? QPalette::Highlight : QPalette::Base);
        if (option.rect.intersects(viewport()->rect()))
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ResultList::keyPressEvent(QKeyEvent* event) {
    static const QHash<int, ListKey> keys{{Qt::Key_Up, ListKey::Up},         {Qt::Key_Down, ListKey::Down},
                                          {Qt::Key_PageUp, ListKey::PageUp}, {Qt::Key_PageDown, ListKey::PageDown},
                                          {Qt::Key_Home, ListKey::Home},     {Qt::Key_End, ListKey::End}};
    if (const auto key = keys.constFind(event->key()); key != keys.constEnd()) {
        setCurrentRow(rowAfterKey(place(), *key));
        event->accept();
        return;
    }
    const QString typed = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!plain || typed.size() != 1 || !typed[0].isPrint()) {
        event->ignore(); // Tab and everything else go on to the window
        return;
    }
    if (const int row = nextRowStartingWith(m_store, m_column, place(), typed[0].unicode()); row >= 0)
        setCurrentRow(row);
    event->accept();
}

void ResultList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragY = event->position().toPoint().y();
    if (const int row = rowAtPointer(place(), m_dragY, rowHeight()); row >= 0)
        setCurrentRow(row);
}

void ResultList::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        drag(event->position().toPoint().y());
}

void ResultList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragTimer.stop();
}

// While the button is held the selection follows the pointer; held above or below the list, the timer
// goes on moving it a row at a time, as on a system list box, until the button is released.
void ResultList::drag(int y) {
    m_dragY = y;
    if (const int row = rowWhileDragging(place(), y, rowHeight(), viewport()->height()); row >= 0)
        setCurrentRow(row);
    if (dragScrolls(y, viewport()->height()))
        m_dragTimer.start(int(kDragScrollInterval.count()), this);
    else
        m_dragTimer.stop();
}

void ResultList::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_dragTimer.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    drag(m_dragY); // the release, which the list gets wherever the pointer is, stops the timer
}

void ResultList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void ResultList::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    announceCurrentRow();
}

void ResultList::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

} // namespace velmora
