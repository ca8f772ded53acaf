#pragma once

// The rows' way out of the Qt window, wired onto every list of the result columns: Ctrl+C and Ctrl+Insert
// copy the list's selected row; a right-click (which first selects the row under the pointer), the Menu
// key or Shift+F10 opens the menu "行をコピー", "すべてコピー", "CSV で保存…", whose items are unavailable
// while the lists are empty. The commands behind them are the shared RowExport.

#include <QObject>
#include <QPoint>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QWidget;

namespace velmora {

class ClipboardText;
class ResultList;
class RowExport;

class ListMenu final : public QObject {
public:
    /// Watches `lists` (their keys, their right-clicks and their menu requests) for the life of `owner`.
    ListMenu(RowExport& rowExport, std::span<ResultList* const> lists, QObject* owner);

    /// Opens the menu of `list` at `globalPos` and runs the chosen item; returns once it has closed.
    void open(ResultList* list, QPoint globalPos);
    /// Opens it as the keyboard does: below the list's selected row, or at its top while none is.
    void openAtSelection(ResultList* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ResultList* listOf(QObject* watched) const;

    RowExport& m_export;
    std::vector<ResultList*> m_lists;
    // Each list's viewport, taken once: a list being destroyed still sends events, and by then it can no
    // longer be asked for its viewport.
    std::vector<QObject*> m_viewports;
};

/// The text on the system's clipboard as its plain text (text/plain, UTF-8), built in place.
std::string putOnQtClipboard(const ClipboardText& text);
/// The save dialog over `owner`, proposing 結果.csv in the current folder; nothing when cancelled.
std::optional<std::filesystem::path> askQtSavePath(QWidget* owner);

} // namespace velmora
