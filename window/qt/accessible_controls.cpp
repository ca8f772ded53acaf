#include "window/qt/accessible_controls.h"

#include "window/qt/heading_label.h"
#include "window/qt/result_list.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace velmora {

namespace {

// How many row items a list keeps made; a screen reader asks for the focused row and a few around it.
constexpr std::size_t kKeptRows = 32;

// One row of a ResultList, made on demand. It follows the row number, not the text: after Reset and
// Start it reads whatever the row then holds, and it is invalid while the list has fewer rows.
class RowItem final : public QAccessibleInterface {
public:
    RowItem(ResultList* list, int row) : m_list(list), m_row(row) {}

    int row() const { return m_row; }
    const ResultList* list() const { return m_list; }

    bool isValid() const override { return m_list && m_row < m_list->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? m_list->itemText(m_row) : QString();
    }

    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect box = m_list->itemRect(m_row).intersected(m_list->viewport()->rect());
        return box.isEmpty() ? QRect() : QRect(m_list->viewport()->mapToGlobal(box.topLeft()), box.size());
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.selectable = true;
        const bool current = m_row == m_list->currentRow();
        s.selected = current;
        s.focused = current && m_list->hasFocus();
        s.offscreen = s.invisible = !m_list->itemRect(m_row).intersects(m_list->viewport()->rect());
        return s;
    }

private:
    QPointer<ResultList> m_list;
    int m_row = 0;
};

class ListAccessible final : public QAccessibleWidget {
public:
    explicit ListAccessible(ResultList* list) : QAccessibleWidget(list, QAccessible::List) {}

    ~ListAccessible() override {
        for (QAccessible::Id id : m_rows)
            if (QAccessible::accessibleInterface(id))
                QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->rowCount(); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        for (QAccessible::Id id : m_rows) {
            auto* item = static_cast<RowItem*>(QAccessible::accessibleInterface(id));
            if (item && item->row() == index)
                return item;
        }
        if (m_rows.size() == kKeptRows) {
            QAccessible::deleteAccessibleInterface(m_rows.front());
            m_rows.erase(m_rows.begin());
        }
        auto* item = new RowItem(list(), index);
        m_rows.push_back(QAccessible::registerAccessibleInterface(item));
        return item;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* item = dynamic_cast<const RowItem*>(child);
        return item && item->list() == list() && item->isValid() ? item->row() : -1;
    }

    QAccessibleInterface* focusChild() const override {
        return list()->hasFocus() && list()->currentRow() >= 0 ? child(list()->currentRow()) : nullptr;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
        if (!list()->viewport()->rect().contains(at))
            return nullptr;
        return child(list()->topRow() + at.y() / list()->rowHeight());
    }

private:
    ResultList* list() const { return static_cast<ResultList*>(widget()); }

    mutable std::vector<QAccessible::Id> m_rows; // the row items made so far, oldest first
};

class LabelAccessible final : public QAccessibleWidget {
public:
    explicit LabelAccessible(HeadingLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const AccessKeyText<char16_t> caption = accessKeysOf(static_cast<HeadingLabel*>(widget())->text());
        switch (t) {
        case QAccessible::Name:
            return QString::fromStdU16String(caption.shown);
        case QAccessible::Accelerator:
            return accessKeySequence(caption).toString(QKeySequence::NativeText);
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* createAccessible(const QString&, QObject* object) {
    if (auto* list = qobject_cast<ResultList*>(object))
        return new ListAccessible(list);
    if (auto* label = qobject_cast<HeadingLabel*>(object))
        return new LabelAccessible(label);
    return nullptr;
}

} // namespace

void installAccessibleControls() {
    static const bool installed = [] {
        QAccessible::installFactory(createAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace velmora
