#include "window/qt/result_list.h"

#include "search/number_text.h"
#include "window/commands/row_store.h"
#include "window/qt/accessible_controls.h"

#include <QAccessible>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace velmora {

namespace {
constexpr int kTextMargin = 2; // pixels between the list's inner edge and an item's text

// The first character of a number's text form, without writing the number out.
char leadingChar(std::int32_t value) {
    if (value < 0)
        return '-';
    while (value >= 10)
        value /= 10;
    return char('0' + value);
}
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
    char text[kMaxNumberText];
    const char* end = writeNumberText(text, m_store.cell(static_cast<std::size_t>(row), m_column));
    return QString::fromLatin1(text, end - text);
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

// The next row after the selected one whose text starts with `first`, going round past the end; -1 when
// no row does. Items are numbers, so only '-' and digits can match.
int ResultList::nextRowStartingWith(QChar first) const {
    if (first != u'-' && (first < u'0' || first > u'9'))
        return -1;
    const char wanted = char(first.unicode());
    for (int step = 1; step <= m_rowCount; ++step) {
        const int row = (m_currentRow + step) % m_rowCount;
        if (leadingChar(m_store.cell(static_cast<std::size_t>(row), m_column)) == wanted)
            return row;
    }
    return -1;
}

void ResultList::scrollTo(int row) {
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + pageRows())
        bar->setValue(row - pageRows() + 1);
}

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
    const int page = std::max(1, pageRows() - 1);
    const int current = m_currentRow;
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrentRow(current < 0 ? 0 : current - 1);
        break;
    case Qt::Key_Down:
        setCurrentRow(current + 1);
        break;
    case Qt::Key_PageUp:
        setCurrentRow(current < 0 ? 0 : current - page);
        break;
    case Qt::Key_PageDown:
        setCurrentRow(current < 0 ? page : current + page);
        break;
    case Qt::Key_Home:
        setCurrentRow(0);
        break;
    case Qt::Key_End:
        setCurrentRow(m_rowCount - 1);
        break;
    default: {
        const QString typed = event->text();
        const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (!plain || typed.size() != 1 || !typed[0].isPrint()) {
            event->ignore(); // Tab and everything else go on to the window
            return;
        }
        if (const int row = nextRowStartingWith(typed[0]); row >= 0)
            setCurrentRow(row);
        break;
    }
    }
    event->accept();
}

void ResultList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int row = topRow() + event->position().toPoint().y() / rowHeight();
    if (row < m_rowCount)
        setCurrentRow(row);
}

void ResultList::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        selectFromPointer(event->position().toPoint().y());
}

// While the button is held the selection follows the pointer; above or below the list it moves one row
// beyond the ones in view, so holding the pointer there and moving it scrolls.
void ResultList::selectFromPointer(int y) {
    if (m_rowCount == 0)
        return;
    const int row = y < 0                              ? topRow() - 1
                    : y >= viewport()->height() ? topRow() + pageRows()
                                                : topRow() + y / rowHeight();
    setCurrentRow(std::min(row, m_rowCount - 1));
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
