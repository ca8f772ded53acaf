#pragma once

// The plumbing of our own window classes, written once: registering a class, the window procedure that
// hands each message of a window to the C++ object that made it, and reading a window's text.

#include <windows.h>

#include <string>

namespace velmora {

/// What a window class of ours sets beyond its name and procedure; the pointer is the arrow.
struct WindowClassSpec {
    const wchar_t* name = nullptr;
    WNDPROC procedure = nullptr;
    UINT style = 0;
    int extraBytes = 0;          // the window's own bytes, for GetWindowLongPtr
    HBRUSH background = nullptr; // null: the window paints its background itself
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
};

/// Registers the class once per program; when it is registered already, does nothing.
void registerWindowClass(HINSTANCE instance, const WindowClassSpec& spec);

/// An object that owns one window of a class of ours: it passes itself, as a WindowOwner*, as the last
/// argument of CreateWindowExW, and its class's procedure is WindowOwner::windowProc. From WM_NCCREATE on, m_hwnd is
/// the window and every message goes to handle(); at WM_NCDESTROY the window lets go of the object
/// (windowGone) and m_hwnd becomes null.
class WindowOwner {
public:
    HWND hwnd() const { return m_hwnd; }

protected:
    WindowOwner() = default;
    ~WindowOwner() = default;
    WindowOwner(const WindowOwner&) = delete;
    WindowOwner& operator=(const WindowOwner&) = delete;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    /// The window is going (WM_NCDESTROY); m_hwnd is still set.
    virtual void windowGone() {}
    /// Stops the window from calling the object, before the object goes while its window stays.
    void detachWindow();

    HWND m_hwnd = nullptr;
};

/// The window's text, as GetWindowTextW reads it.
std::wstring windowText(HWND window);

} // namespace velmora
