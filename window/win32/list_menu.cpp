#include "window/win32/list_menu.h"

#include "window/commands/row_export.h"
#include "window/commands/safe_file.h"
#include "window/win32/result_list.h"
#include "platform/wide_text.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>

namespace velmora {

namespace {

enum MenuItem : UINT_PTR { kCopyRow = 1, kCopyAll, kSaveCsv };

bool held(int key) { return GetKeyState(key) < 0; }

} // namespace

ListMenu::ListMenu(RowExport& rowExport, std::span<const std::unique_ptr<ResultList>> lists, HWND owner)
    : m_export(rowExport), m_owner(owner) {
    for (const auto& list : lists) {
        SetWindowSubclass(list->hwnd(), listProc, m_lists.size(), reinterpret_cast<DWORD_PTR>(this));
        m_lists.push_back(list.get());
    }
}

LRESULT CALLBACK ListMenu::listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR column,
                                    DWORD_PTR self) {
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, listProc, column);
    else if (reinterpret_cast<ListMenu*>(self)->handle(static_cast<int>(column), message, wParam, lParam))
        return 0;
    return DefSubclassProc(window, message, wParam, lParam);
}

// True when the message was taken here; everything else goes on to the list.
bool ListMenu::handle(int column, UINT message, WPARAM wParam, LPARAM lParam) {
    ResultList& list = *m_lists[static_cast<std::size_t>(column)];
    switch (message) {
    case WM_KEYDOWN:
        if ((wParam == 'C' || wParam == VK_INSERT) && held(VK_CONTROL) && !held(VK_SHIFT) && !held(VK_MENU)) {
            m_export.copyRow(list.currentRow());
            return true;
        }
        if (wParam == VK_APPS) {
            openAtSelection(column);
            return true;
        }
        return false;
    case WM_KEYUP:
        return wParam == VK_APPS; // the menu opened on the key's press
    case WM_SYSKEYDOWN:
        if (wParam == VK_F10 && held(VK_SHIFT)) {
            openAtSelection(column);
            return true;
        }
        return false;
    case WM_RBUTTONDOWN: {
        // As a system list: the focus comes here and the row under the pointer is selected.
        SetFocus(list.hwnd());
        const int row = list.topRow() + GET_Y_LPARAM(lParam) / list.rowHeight();
        if (GET_Y_LPARAM(lParam) >= 0 && row < list.rowCount())
            list.selectRow(row);
        return true;
    }
    case WM_CONTEXTMENU: // sent by the system when the right button comes up over the list
        if (lParam == -1)
            openAtSelection(column);
        else
            open(column, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return true;
    default:
        return false;
    }
}

void ListMenu::openAtSelection(int column) {
    const ResultList& list = *m_lists[static_cast<std::size_t>(column)];
    RECT client{};
    GetClientRect(list.hwnd(), &client);
    const int row = list.currentRow();
    const int y = row < 0 ? 0 : (row - list.topRow() + 1) * list.rowHeight();
    POINT point{list.rowHeight(), std::clamp(y, 0, static_cast<int>(client.bottom))};
    ClientToScreen(list.hwnd(), &point);
    open(column, point);
}

void ListMenu::open(int column, POINT screen) {
    const ResultList& list = *m_lists[static_cast<std::size_t>(column)];
    const bool rows = m_export.hasRows();
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    const auto add = [&](UINT_PTR id, std::string_view text, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, wideFromUtf8(text).c_str());
    };
    add(kCopyRow, kCopyRowItem, rows && list.currentRow() >= 0);
    add(kCopyAll, kCopyAllItem, rows);
    add(kSaveCsv, kSaveCsvItem, rows);
    const UINT_PTR chosen = static_cast<UINT_PTR>(TrackPopupMenuEx(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, screen.x, screen.y, m_owner, nullptr));
    DestroyMenu(menu);
    switch (chosen) {
    case kCopyRow:
        m_export.copyRow(list.currentRow());
        break;
    case kCopyAll:
        m_export.copyAllRows();
        break;
    case kSaveCsv:
        m_export.saveCsv();
        break;
    default:
        break;
    }
}

std::string putOnWin32Clipboard(HWND owner, const ClipboardText& text) {
    // The clipboard's memory is allocated once at its final size and the rows widened into it piece by
    // piece: the text is never held twice.
    const std::wstring head = wideFromUtf8(text.head());
    const std::size_t length = head.size() + text.rowsLength();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
    if (!memory)
        return lastSystemErrorText();
    auto* out = static_cast<wchar_t*>(GlobalLock(memory));
    if (!out) {
        const std::string reason = lastSystemErrorText();
        GlobalFree(memory);
        return reason;
    }
    out = std::copy(head.begin(), head.end(), out);
    text.writeRows([&](std::string_view piece) { out = std::copy(piece.begin(), piece.end(), out); });
    *out = L'\0';
    GlobalUnlock(memory);
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int attempt = 0; attempt < 10 && !(open = OpenClipboard(owner)); ++attempt)
        Sleep(20);
    std::string reason;
    if (!open) {
        reason = lastSystemErrorText();
    } else {
        EmptyClipboard();
        if (!SetClipboardData(CF_UNICODETEXT, memory))
            reason = lastSystemErrorText();
        else
            memory = nullptr; // the clipboard owns it now
        CloseClipboard();
    }
    if (memory)
        GlobalFree(memory);
    return reason;
}

std::optional<std::filesystem::path> askWin32SavePath(HWND owner) {
    std::wstring file = wideFromUtf8(kProposedFileName);
    file.resize(32768, L'\0');
    const std::wstring folder = std::filesystem::current_path().wstring();
    const std::wstring title = wideFromUtf8(kSaveDialogTitle);
    static const wchar_t filter[] = L"CSV (*.csv)\0*.csv\0すべてのファイル (*.*)\0*.*\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog))
        return std::nullopt;
    return std::filesystem::path(file.c_str());
}

} // namespace velmora
