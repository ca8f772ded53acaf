#include "window/win32/result_list.h"

#include "window/commands/list_texts.h"
#include "window/commands/row_store.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace velmora {

namespace {

constexpr wchar_t kClassName[] = L"VelmoraResultList";
constexpr int kTextMargin = 2; // pixels between the list's inner edge and an item's text
constexpr UINT_PTR kDragTimer = 1;

} // namespace

void ResultList::registerClass(HINSTANCE instance) {
    WindowClassSpec windowClass{kClassName, windowProc};
    windowClass.style = CS_DBLCLKS;
    registerWindowClass(instance, windowClass);
}

ResultList::ResultList(HWND parent, const RECT& box, int id, const RowStore& store, int column, HFONT font)
    : m_store(store), m_column(column), m_font(font) {
    auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    registerClass(instance);
    // WS_CLIPSIBLINGS with a place above the labels in the z-order: a list is drawn over a label it overlaps.
    CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPSIBLINGS,
                    box.left, box.top, box.right - box.left, box.bottom - box.top, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, static_cast<WindowOwner*>(this));
    HDC dc = GetDC(m_hwnd);
    HGDIOBJ old = SelectObject(dc, m_font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_hwnd, dc);
    m_rowHeight = std::max<int>(1, metrics.tmHeight);
    updateScrollBar();
}

ResultList::~ResultList() {
    m_accessible.disconnect(); // before the window and the rows go
    if (m_hwnd && IsWindow(m_hwnd)) {
        detachWindow();
        DestroyWindow(m_hwnd);
    }
}

int ResultList::pageRows() const {
    RECT client{};
    GetClientRect(m_hwnd, &client);
    return std::max(1, static_cast<int>(client.bottom) / m_rowHeight);
}

int ResultList::maxTopRow() const { return std::max(0, m_rowCount - pageRows()); }

std::wstring ResultList::itemText(int row) const {
    const std::string text = cellText(m_store, static_cast<std::size_t>(row), m_column);
    return std::wstring(text.begin(), text.end()); // ASCII
}

void ResultList::setAccessibleName(std::wstring name) {
    if (name == m_name)
        return;
    m_name = std::move(name);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hwnd, OBJID_CLIENT, CHILDID_SELF);
}

RECT ResultList::rowBox(int row) const {
    RECT client{};
    GetClientRect(m_hwnd, &client);
    const int top = (row - m_topRow) * m_rowHeight;
    return RECT{0, top, client.right, top + m_rowHeight};
}

void ResultList::rowsChanged() {
    m_rowCount = static_cast<int>(std::min<std::size_t>(m_store.size(), INT_MAX));
    if (m_currentRow >= m_rowCount)
        m_currentRow = -1;
    m_topRow = std::min(m_topRow, maxTopRow());
    updateScrollBar();
    InvalidateRect(m_hwnd, nullptr, FALSE);
    // One event for the whole list, however many rows came or went: a screen reader reads them anew.
    NotifyWinEvent(EVENT_OBJECT_REORDER, m_hwnd, OBJID_CLIENT, CHILDID_SELF);
}

void ResultList::updateScrollBar() {
    // Without SIF_DISABLENOSCROLL the bar hides itself while the page holds every row.
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, m_rowCount - 1);
    info.nPage = static_cast<UINT>(m_rowCount == 0 ? 1 : pageRows());
    info.nPos = m_topRow;
    SetScrollInfo(m_hwnd, SB_VERT, &info, TRUE);
}

void ResultList::scrollTo(int top) {
    top = std::clamp(top, 0, maxTopRow());
    if (top == m_topRow)
        return;
    m_topRow = top;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = top;
    SetScrollInfo(m_hwnd, SB_VERT, &info, TRUE);
    InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ResultList::setCurrentRow(int row) {
    if (m_rowCount == 0)
        return;
    const int previous = m_currentRow;
    m_currentRow = std::clamp(row, 0, m_rowCount - 1);
    scrollTo(topRowShowing(place(), m_currentRow));
    if (previous != m_currentRow) {
        announceCurrentRow();
        // Rows outside the view invalidate nothing visible; the whole client is at most a few dozen rows.
        const RECT before = rowBox(std::max(previous, 0));
        const RECT after = rowBox(m_currentRow);
        InvalidateRect(m_hwnd, &before, FALSE);
        InvalidateRect(m_hwnd, &after, FALSE);
    }
}

void ResultList::announceCurrentRow() const {
    if (m_currentRow < 0)
        return;
    // The focus event only while the list has it: a screen reader follows the focus wherever it goes.
    if (GetFocus() == m_hwnd)
        NotifyWinEvent(EVENT_OBJECT_FOCUS, m_hwnd, OBJID_CLIENT, m_currentRow + 1);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, m_hwnd, OBJID_CLIENT, m_currentRow + 1);
}

void ResultList::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    RECT client{};
    GetClientRect(m_hwnd, &client);
    FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    const int first = m_topRow + std::max(0, static_cast<int>(ps.rcPaint.top)) / m_rowHeight;
    const int last = std::min(m_rowCount, m_topRow + (static_cast<int>(ps.rcPaint.bottom) + m_rowHeight - 1) / m_rowHeight);
    for (int row = first; row < last; ++row) {
        const RECT box = rowBox(row);
        const bool selected = row == m_currentRow;
        if (selected)
            FillRect(dc, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        // ETO_CLIPPED: a number wider than the list is cut at its right edge.
        const std::wstring text = itemText(row);
        ExtTextOutW(dc, kTextMargin, box.top, ETO_CLIPPED, &box, text.data(), static_cast<UINT>(text.size()), nullptr);
    }
    if (GetFocus() == m_hwnd) {
        // The focus frame marks the selected item, or the first item while none is selected (or the list
        // is empty), as on a system list box.
        const RECT box = rowBox(std::max(m_currentRow, 0));
        if (box.bottom > 0 && box.top < client.bottom) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            DrawFocusRect(dc, &box);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(m_hwnd, &ps);
}

void ResultList::keyDown(WPARAM key) {
    static constexpr std::pair<WPARAM, ListKey> kKeys[] = {
        {VK_UP, ListKey::Up},       {VK_DOWN, ListKey::Down}, {VK_PRIOR, ListKey::PageUp},
        {VK_NEXT, ListKey::PageDown}, {VK_HOME, ListKey::Home}, {VK_END, ListKey::End},
    };
    for (const auto& [virtualKey, listKey] : kKeys)
        if (virtualKey == key)
            setCurrentRow(rowAfterKey(place(), listKey));
}

void ResultList::typed(wchar_t character) {
    if (const int row = nextRowStartingWith(m_store, m_column, place(), character); row >= 0)
        setCurrentRow(row);
}

void ResultList::verticalScroll(int code) {
    const int page = pageRows();
    switch (code) {
    case SB_LINEUP:
        scrollTo(m_topRow - 1);
        break;
    case SB_LINEDOWN:
        scrollTo(m_topRow + 1);
        break;
    case SB_PAGEUP:
        scrollTo(m_topRow - page);
        break;
    case SB_PAGEDOWN:
        scrollTo(m_topRow + page);
        break;
    case SB_TOP:
        scrollTo(0);
        break;
    case SB_BOTTOM:
        scrollTo(maxTopRow());
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message's own position has 16 bits; the scroll bar's track position has 32.
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(m_hwnd, SB_VERT, &info))
            scrollTo(info.nTrackPos);
        break;
    }
    default:
        break;
    }
}

void ResultList::wheel(int delta) {
    UINT linesPerNotch = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &linesPerNotch, 0);
    m_wheelRest += delta;
    const int notches = m_wheelRest / WHEEL_DELTA;
    m_wheelRest %= WHEEL_DELTA;
    const int lines = linesPerNotch == WHEEL_PAGESCROLL ? pageRows() : static_cast<int>(linesPerNotch);
    scrollTo(m_topRow - notches * lines);
}

// While the button is held the selection follows the pointer; held above or below the list, a timer goes
// on moving it a row at a time, as on a system list box, until the button is released.
void ResultList::drag(int y) {
    m_dragY = y;
    RECT client{};
    GetClientRect(m_hwnd, &client);
    setCurrentRow(rowWhileDragging(place(), y, m_rowHeight, client.bottom));
    if (dragScrolls(y, client.bottom))
        SetTimer(m_hwnd, kDragTimer, static_cast<UINT>(kDragScrollInterval.count()), nullptr);
    else
        KillTimer(m_hwnd, kDragTimer);
}

void ResultList::stopDragging() {
    m_dragging = false;
    KillTimer(m_hwnd, kDragTimer);
}

LRESULT ResultList::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // painting fills the background
    case WM_SIZE:
        m_topRow = std::min(m_topRow, maxTopRow());
        updateScrollBar();
        InvalidateRect(m_hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
        InvalidateRect(m_hwnd, nullptr, FALSE);
        announceCurrentRow();
        return 0;
    case WM_KILLFOCUS:
        InvalidateRect(m_hwnd, nullptr, FALSE);
        return 0;
    case WM_GETOBJECT:
        if (const LRESULT object = m_accessible.answerForList(*this, wParam, lParam))
            return object;
        return DefWindowProcW(m_hwnd, message, wParam, lParam);
    case WM_KEYDOWN:
        keyDown(wParam);
        return 0;
    case WM_CHAR:
        typed(static_cast<wchar_t>(wParam));
        return 0;
    case WM_VSCROLL:
        verticalScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        wheel(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(m_hwnd);
        SetCapture(m_hwnd);
        m_dragging = true;
        m_dragY = GET_Y_LPARAM(lParam);
        if (const int row = rowAtPointer(place(), m_dragY, m_rowHeight); row >= 0)
            setCurrentRow(row);
        return 0;
    case WM_MOUSEMOVE:
        if (m_dragging && (wParam & MK_LBUTTON))
            drag(GET_Y_LPARAM(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kDragTimer && m_dragging)
            drag(m_dragY);
        return 0;
    case WM_LBUTTONUP:
        stopDragging();
        if (GetCapture() == m_hwnd)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        stopDragging();
        return 0;
    default:
        return DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
}

} // namespace velmora
