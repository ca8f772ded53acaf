#pragma once

// The rows leave the window: one row or every row as tab-separated text for the clipboard, which a
// spreadsheet pastes one number to a cell, or every row saved as CSV, byte for byte what
// velmora-search --csv writes for the same rows. Each window wires its keys (Ctrl+C, Ctrl+Insert) and its
// lists' context menu to these calls and gives them its clipboard, its save dialog, its message box and
// its busy pointer through an ExportView.

#include "setup/search_setup.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class RowStore;
class WindowCommands;

/// The rows of one sheet of Excel. A copy of every row takes one of them for its heading row, so at most
/// kSpreadsheetRows - 1 rows of results are copied.
inline constexpr std::size_t kSpreadsheetRows = 1048576;

/// The texts of the menu on every list, and the name the save dialog proposes.
inline constexpr std::string_view kCopyRowItem = "行をコピー(&C)";
inline constexpr std::string_view kCopyAllItem = "すべてコピー(&A)";
inline constexpr std::string_view kSaveCsvItem = "CSV で保存(&S)…";
inline constexpr std::string_view kSaveDialogTitle = "CSV で保存";
inline constexpr std::string_view kProposedFileName = "結果.csv";

/// Text for the clipboard, tab-separated with CR LF line ends: a head in UTF-8 (one row, or the heading
/// row of 合計 and the eight headings) and then rows, which are ASCII. The window writes it straight into
/// the clipboard's own buffer, the rows piece by piece, so that the text is never held twice.
class ClipboardText {
public:
    /// Row `row` of `store`: the sum and the eight values.
    static ClipboardText oneRow(const RowStore& store, std::size_t row);
    /// The heading row, then every row of `store`.
    static ClipboardText allRows(const SearchSetup& setup, const RowStore& store);

    const std::string& head() const { return m_head; }
    /// The bytes, and characters, of the rows after the head.
    std::size_t rowsLength() const;
    /// Hands the rows' text on in pieces of at most 64 KiB, in order.
    void writeRows(const std::function<void(std::string_view)>& piece) const;
    /// The whole text in one string.
    std::string text() const;

private:
    ClipboardText(std::string head, const RowStore* store) : m_head(std::move(head)), m_store(store) {}

    std::string m_head;
    const RowStore* m_store; // null when the head is all
};

/// Whether `rows` rows of results, after the heading row, fit in one sheet.
constexpr bool fitsInSpreadsheet(std::size_t rows) { return rows < kSpreadsheetRows; }

/// What the export commands ask of a window; Velm implements it beside WindowView.
class ExportView {
public:
    virtual ~ExportView() = default;
    virtual void showMessage(const std::string& text, const std::string& detail) = 0;
    virtual void setBusy(bool busy) = 0;
    /// As WindowView's: true when the dropped input held a request to close the window.
    virtual bool discardQueuedInput() = 0;
    /// Puts `text` on the clipboard as the platform's plain (Unicode) text; returns the system's reason
    /// when it could not, an empty string when it did.
    virtual std::string putOnClipboard(const ClipboardText& text) = 0;
    /// The system's save dialog, proposing kProposedFileName; nothing when the user cancels.
    virtual std::optional<std::filesystem::path> askSavePath() = 0;
};

/// The commands of the lists' keys and menu, over the window's setup and rows.
class RowExport {
public:
    RowExport(ExportView& view, const WindowCommands& commands) : m_view(view), m_commands(commands) {}

    /// Whether there is anything to copy or save: the menu's items are unavailable while the lists are empty.
    bool hasRows() const;
    /// Ctrl+C, Ctrl+Insert, "行をコピー": row `row` (a list's selected item) to the clipboard; nothing
    /// when `row` is -1 (no selection).
    void copyRow(int row);
    /// "すべてコピー": the heading row and every row to the clipboard, under the busy pointer; beyond one
    /// sheet, a message pointing to "CSV で保存" and nothing copied.
    void copyAllRows();
    /// "CSV で保存": asks for a file and writes every row to it as CSV, under the busy pointer.
    void saveCsv();

private:
    ExportView& m_view;
    const WindowCommands& m_commands;
};

/// Every row of `store` as CSV, exactly as velmora-search --csv writes it, saved whole or not at all;
/// returns the system's reason for a failure, or an empty string.
std::string saveCsvFile(const std::filesystem::path& target, const SearchSetup& setup, const RowStore& store);

/// The message for a copy of more rows than a sheet holds: its text and the detail beneath.
std::pair<std::string, std::string> tooManyRowsMessage(std::size_t rows);

} // namespace velmora
