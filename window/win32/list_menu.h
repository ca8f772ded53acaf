#pragma once

// The rows' way out of the Win32 window, wired onto every list of the result columns by subclassing
// their windows: Ctrl+C and Ctrl+Insert copy the list's selected row; a right-click (which first selects
// the row under the pointer and gives the list the focus), the Menu key or Shift+F10 opens the menu
// "行をコピー", "すべてコピー", "CSV で保存…", whose items are grayed while the lists are empty. The
// commands behind them are the shared RowExport.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class ClipboardText;
class ResultList;
class RowExport;

class ListMenu {
public:
    /// Watches `lists` for as long as their windows live; `owner` owns the menu.
    ListMenu(RowExport& rowExport, std::span<const std::unique_ptr<ResultList>> lists, HWND owner);
    ListMenu(const ListMenu&) = delete;
    ListMenu& operator=(const ListMenu&) = delete;

    /// Opens the menu of list `column` at `screen` and runs the chosen item; returns once it has closed.
    void open(int column, POINT screen);
    /// Opens it as the keyboard does: below the list's selected row, or at its top while none is.
    void openAtSelection(int column);

private:
    static LRESULT CALLBACK listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR column,
                                     DWORD_PTR self);
    bool handle(int column, UINT message, WPARAM wParam, LPARAM lParam);

    RowExport& m_export;
    std::vector<ResultList*> m_lists;
    HWND m_owner;
};

/// The text on the clipboard as CF_UNICODETEXT, written straight into the clipboard's memory; returns the
/// system's reason when it could not, an empty string when it did.
std::string putOnWin32Clipboard(HWND owner, const ClipboardText& text);
/// The system's save dialog over `owner`, proposing 結果.csv in the current folder; nothing when cancelled.
std::optional<std::filesystem::path> askWin32SavePath(HWND owner);

} // namespace velmora
