#include "window/qt/list_menu.h"

#include "window/commands/row_export.h"
#include "window/qt/result_list.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <string_view>

namespace velmora {

namespace {

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

bool isCopyKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::ControlModifier && (key->key() == Qt::Key_C || key->key() == Qt::Key_Insert);
}

bool isMenuKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
           (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

} // namespace

ListMenu::ListMenu(RowExport& rowExport, std::span<ResultList* const> lists, QObject* owner)
    : QObject(owner), m_export(rowExport), m_lists(lists.begin(), lists.end()) {
    for (ResultList* list : m_lists) {
        list->installEventFilter(this);
        list->viewport()->installEventFilter(this);
        m_viewports.push_back(list->viewport());
    }
}

ResultList* ListMenu::listOf(QObject* watched) const {
    for (std::size_t i = 0; i < m_lists.size(); ++i)
        if (watched == m_lists[i] || watched == m_viewports[i])
            return m_lists[i];
    return nullptr;
}

bool ListMenu::eventFilter(QObject* watched, QEvent* event) {
    ResultList* list = listOf(watched);
    if (!list)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isCopyKey(key)) {
            m_export.copyRow(list->currentRow());
            return true;
        }
        if (isMenuKey(key)) {
            openAtSelection(list);
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonPress: {
        // A right-click selects the row under the pointer, as a system list does, and takes the focus there.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton || watched != list->viewport())
            return false;
        list->setFocus(Qt::MouseFocusReason);
        const int row = list->topRow() + mouse->position().toPoint().y() / list->rowHeight();
        if (row < list->rowCount())
            list->setCurrentRow(row);
        return false;
    }
    case QEvent::ContextMenu: {
        const auto* request = static_cast<QContextMenuEvent*>(event);
        if (request->reason() == QContextMenuEvent::Mouse)
            open(list, request->globalPos());
        else
            openAtSelection(list);
        return true;
    }
    default:
        return false;
    }
}

void ListMenu::openAtSelection(ResultList* list) {
    QWidget* view = list->viewport();
    const QRect box = list->itemRect(std::max(list->currentRow(), 0));
    const int y = std::clamp(list->currentRow() >= 0 ? box.bottom() + 1 : 0, 0, view->height());
    open(list, view->mapToGlobal(QPoint(box.left() + list->rowHeight(), y)));
}

void ListMenu::open(ResultList* list, QPoint globalPos) {
    QMenu menu(list);
    menu.setObjectName(QStringLiteral("ListMenu"));
    QAction* copyRow = menu.addAction(fromUtf8(kCopyRowItem));
    QAction* copyAll = menu.addAction(fromUtf8(kCopyAllItem));
    QAction* save = menu.addAction(fromUtf8(kSaveCsvItem));
    const bool rows = m_export.hasRows();
    copyRow->setEnabled(rows && list->currentRow() >= 0);
    copyAll->setEnabled(rows);
    save->setEnabled(rows);
    QAction* chosen = menu.exec(globalPos);
    if (chosen == copyRow)
        m_export.copyRow(list->currentRow());
    else if (chosen == copyAll)
        m_export.copyAllRows();
    else if (chosen == save)
        m_export.saveCsv();
}

std::string putOnQtClipboard(const ClipboardText& text) {
    // The plain text as UTF-8 bytes, allocated once at the final size and filled piece by piece: the text
    // is held once, in half the memory of a QString, and a paste (UTF8_STRING on X11) is served from these
    // very bytes without a conversion.
    const std::string& head = text.head();
    QByteArray bytes(qsizetype(head.size() + text.rowsLength()), Qt::Uninitialized);
    char* out = std::copy(head.begin(), head.end(), bytes.data());
    text.writeRows([&](std::string_view piece) { out = std::copy(piece.begin(), piece.end(), out); });
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), bytes);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    return {};
}

std::optional<std::filesystem::path> askQtSavePath(QWidget* owner) {
    QFileDialog dialog(owner, fromUtf8(kSaveDialogTitle));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("CSV (*.csv)"), QStringLiteral("すべてのファイル (*)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(QDir::currentPath());
    dialog.selectFile(fromUtf8(kProposedFileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(QFile::encodeName(dialog.selectedFiles().first()).toStdString());
}

} // namespace velmora
