#include "window/win32/dpi_fonts.h"

#include <cwchar>
#include <vector>

namespace velmora {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kPointsPerInch = 72;
constexpr int kLabel1Points = 12;

// The window's own captions: the default font must have them.
constexpr std::wstring_view kCaptions = L"開始初期化終了";

LOGFONTW messageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return metrics.lfMessageFont;
    LOGFONTW font{};
    font.lfHeight = -12;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = SHIFTJIS_CHARSET;
    return font;
}

} // namespace

int systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int pixelsAt(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerInch); }

RECT controlRect(const ControlSpec& spec, int dpi) {
    return RECT{pixelsAt(spec.left, dpi), pixelsAt(spec.top, dpi), pixelsAt(spec.left + spec.width, dpi),
                pixelsAt(spec.top + spec.height, dpi)};
}

SIZE clientSize(int dpi) { return SIZE{pixelsAt(kClientWidthTwips, dpi), pixelsAt(kClientHeightTwips, dpi)}; }

Font& Font::operator=(Font&& other) noexcept {
    if (this != &other) {
        if (m_font)
            DeleteObject(m_font);
        m_font = other.m_font;
        other.m_font = nullptr;
    }
    return *this;
}

Font::~Font() {
    if (m_font)
        DeleteObject(m_font);
}

Font label1Font(int dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(kLabel1Points, dpi, kPointsPerInch);
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfUnderline = FALSE;
    font.lfStrikeOut = FALSE;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcscpy(font.lfFaceName, L"ＭＳ Ｐゴシック");
    return Font(CreateFontIndirectW(&font));
}

Font defaultFont(int dpi) {
    LOGFONTW font = messageFont();
    // The metrics are in the system's pixels; the window may be laid out at another resolution.
    font.lfHeight = MulDiv(font.lfHeight, dpi, systemDpi());
    Font candidate(CreateFontIndirectW(&font));
    if (fontShowsText(candidate.get(), kCaptions))
        return candidate;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcscpy(font.lfFaceName, L"MS UI Gothic");
    return Font(CreateFontIndirectW(&font));
}

bool fontShowsText(HFONT font, std::wstring_view text) {
    if (!font)
        return false;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<WORD> glyphs(text.size());
    const DWORD done = GetGlyphIndicesW(dc, text.data(), static_cast<int>(text.size()), glyphs.data(),
                                        GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteDC(dc);
    if (done != text.size())
        return false;
    for (WORD glyph : glyphs)
        if (glyph == 0xFFFF)
            return false;
    return true;
}

} // namespace velmora
