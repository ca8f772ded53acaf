#pragma once

// The window's labels: borderless static text of a window class of our own, so that it draws exactly as
// designed whatever the system's keyboard-cue setting. The text starts at the top-left corner, is
// left-aligned, wraps at the label's width (between words where it can, anywhere where it must) and is cut
// at the label's box. '&' is not shown and underlines the character after it, always; "&&" shows one '&'
// (window/commands/access_keys.h).
// A label never takes the focus; the window moves the focus for a label's access key (Velm). A screen
// reader reads the caption as shown, through WM_GETOBJECT (accessible_controls.h).

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

/// The window class of the labels; its caption is the window text, its font set with WM_SETFONT.
inline constexpr wchar_t kHeadingLabelClass[] = L"VelmoraHeadingLabel";

/// Registers the labels' window class once per program.
void registerHeadingLabelClass(HINSTANCE instance);

/// One line of a wrapped text: `length` characters from `start`.
struct TextLine {
    std::size_t start;
    std::size_t length;
};
/// The lines of `text` as drawn in `dc`'s font within `width` pixels, as many as start above `height`.
std::vector<TextLine> wrapLines(HDC dc, std::wstring_view text, int width, int height);

} // namespace velmora
