#pragma once

// Measures and fonts of the Win32 window at a given resolution. The window's measures are twips; at `dpi`
// dots per inch a twip is dpi/1440 of a pixel, so at 96 dpi every measure is a whole number of pixels
// (15 twips a pixel) and at other resolutions each edge is rounded to the nearest pixel.

#include "window/commands/control_table.h"

#include <windows.h>

#include <string_view>

namespace velmora {

/// The resolution the window lays itself out at: the system's, as the manifest declares the program
/// aware of it.
int systemDpi();

/// `twips` in pixels at `dpi`, rounded to the nearest pixel.
int pixelsAt(int twips, int dpi);
/// A control's box in the client area's pixels at `dpi`: its edges, each rounded on its own, so that
/// neighbours keep their gaps.
RECT controlRect(const ControlSpec& spec, int dpi);
/// The client area's size in pixels at `dpi`.
SIZE clientSize(int dpi);

/// A font the window owns: deleted with its holder.
class Font {
public:
    Font() = default;
    explicit Font(HFONT font) : m_font(font) {}
    Font(Font&& other) noexcept : m_font(other.m_font) { other.m_font = nullptr; }
    Font& operator=(Font&& other) noexcept;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font();

    HFONT get() const { return m_font; }

private:
    HFONT m_font = nullptr;
};

/// Label1's font: "ＭＳ Ｐゴシック", 12 point at `dpi`, weight 400, upright, neither underlined nor struck
/// out, Shift-JIS character set (128). Where the face is missing the font mapper takes the nearest
/// proportional Japanese sans-serif face.
Font label1Font(int dpi);
/// The window's default font, which every control but Label1 uses: the system's message font where it
/// shows Japanese, "MS UI Gothic" (present on every Japanese desktop) where it does not; at the message
/// font's size, scaled to `dpi`.
Font defaultFont(int dpi);
/// True when `font` has a glyph of its own for every character of `text`.
bool fontShowsText(HFONT font, std::wstring_view text);

} // namespace velmora
