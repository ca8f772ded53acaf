#include "window/win32/window_class.h"

namespace velmora {

void registerWindowClass(HINSTANCE instance, const WindowClassSpec& spec) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, spec.name, &windowClass))
        return;
    windowClass.style = spec.style;
    windowClass.lpfnWndProc = spec.procedure;
    windowClass.cbWndExtra = spec.extraBytes;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = spec.background;
    windowClass.hIcon = spec.icon;
    windowClass.hIconSm = spec.smallIcon;
    windowClass.lpszClassName = spec.name;
    RegisterClassExW(&windowClass);
}

LRESULT CALLBACK WindowOwner::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<WindowOwner*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        owner->m_hwnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    auto* owner = reinterpret_cast<WindowOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!owner)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        owner->windowGone();
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        owner->m_hwnd = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return owner->handle(message, wParam, lParam);
}

void WindowOwner::detachWindow() {
    if (m_hwnd)
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace velmora
