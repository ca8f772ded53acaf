#include "window/win32/heading_label.h"

#include "window/commands/access_keys.h"
#include "window/win32/accessible_controls.h"
#include "window/win32/window_class.h"

#include <algorithm>

namespace velmora {

namespace {

// The window's extra bytes hold its font and, once a screen reader asked for it, its accessible object.
constexpr int kFontSlot = 0;
constexpr int kAccessibleSlot = sizeof(LONG_PTR);

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// How many characters from `start` fit in `width`: at least one character (a surrogate pair is one), never
// half of a pair.
std::size_t fittingLength(HDC dc, std::wstring_view rest, int width) {
    int fit = 0;
    SIZE size{};
    GetTextExtentExPointW(dc, rest.data(), static_cast<int>(rest.size()), std::max(width, 0), &fit, nullptr, &size);
    std::size_t length = static_cast<std::size_t>(std::max(fit, 0));
    if (length > 0 && length < rest.size() && isHighSurrogate(rest[length - 1]))
        --length;
    if (length == 0)
        length = rest.size() > 1 && isHighSurrogate(rest[0]) ? 2 : 1;
    return std::min(length, rest.size());
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT box;
    GetClientRect(window, &box);
    const AccessKeyText<wchar_t> caption = parseAccessKeys(std::wstring_view(windowText(window)));
    if (!caption.shown.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrW(window, kFontSlot)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const std::wstring_view shown = caption.shown;
        int y = 0;
        for (const TextLine& line : wrapLines(dc, shown, box.right, box.bottom)) {
            const std::wstring_view text = shown.substr(line.start, line.length);
            ExtTextOutW(dc, 0, y, ETO_CLIPPED, &box, text.data(), static_cast<UINT>(text.size()), nullptr);
            for (std::size_t mark : caption.marked) {
                if (mark < line.start || mark >= line.start + line.length)
                    continue;
                SIZE before{}, through{};
                GetTextExtentPoint32W(dc, text.data(), static_cast<int>(mark - line.start), &before);
                GetTextExtentPoint32W(dc, text.data(), static_cast<int>(mark - line.start + 1), &through);
                RECT underline{before.cx, y + metrics.tmAscent + 1, through.cx, y + metrics.tmAscent + 2};
                IntersectRect(&underline, &underline, &box);
                FillRect(dc, &underline, GetSysColorBrush(COLOR_BTNTEXT));
            }
            y += metrics.tmHeight;
        }
        SelectObject(dc, oldFont);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK labelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFONT:
        SetWindowLongPtrW(window, kFontSlot, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(window, kFontSlot);
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
        return result;
    }
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_NCHITTEST:
        return HTTRANSPARENT; // clicks go through to the window, as on a system label
    case WM_GETOBJECT: {
        auto* slot = reinterpret_cast<AccessibleSlot*>(GetWindowLongPtrW(window, kAccessibleSlot));
        if (!slot) {
            slot = new AccessibleSlot;
            SetWindowLongPtrW(window, kAccessibleSlot, reinterpret_cast<LONG_PTR>(slot));
        }
        if (const LRESULT object = slot->answerForLabel(window, wParam, lParam))
            return object;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_NCDESTROY:
        delete reinterpret_cast<AccessibleSlot*>(SetWindowLongPtrW(window, kAccessibleSlot, 0));
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void registerHeadingLabelClass(HINSTANCE instance) {
    WindowClassSpec windowClass{kHeadingLabelClass, labelProc};
    windowClass.extraBytes = 2 * sizeof(LONG_PTR);
    windowClass.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    registerWindowClass(instance, windowClass);
}

std::vector<TextLine> wrapLines(HDC dc, std::wstring_view text, int width, int height) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = std::max<int>(1, metrics.tmHeight);
    std::vector<TextLine> lines;
    std::size_t start = 0;
    for (int y = 0; start < text.size() && y < height; y += lineHeight) {
        const std::wstring_view rest = text.substr(start);
        std::size_t length = fittingLength(dc, rest, width);
        // Break after the last space that fits, if any, unless the line already ends before a space.
        if (length < rest.size() && rest[length] != L' ') {
            const std::size_t space = rest.substr(0, length).find_last_of(L' ');
            if (space != std::wstring_view::npos && space > 0)
                length = space + 1;
        }
        // The one space where a line breaks before it starts no line.
        const bool breaksBeforeSpace = length < rest.size() && rest[length] == L' ' && rest[length - 1] != L' ';
        lines.push_back({start, length});
        start += length + (breaksBeforeSpace ? 1 : 0);
    }
    return lines;
}

} // namespace velmora
