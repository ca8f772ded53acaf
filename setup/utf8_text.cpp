#include "setup/utf8_text.h"

#include "setup/cp932_units.h"

namespace velmora::utf8 {
namespace {

// One character at the front of the bytes: its code point and length, or, when the bytes there are not
// well-formed UTF-8, the length of the maximal ill-formed part (at least 1) and `valid` false.
struct Sequence {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = false;
};

bool inRange(unsigned char b, unsigned char low, unsigned char high) { return b >= low && b <= high; }

Sequence next(std::string_view bytes) {
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    if (b0 < 0x80)
        return {b0, 1, true};
    std::size_t length = 0;
    char32_t codePoint = 0;
    // The range of the second byte narrows for E0, ED, F0 and F4, which rules out overlong forms,
    // surrogates and code points above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (inRange(b0, 0xC2, 0xDF)) {
        length = 2;
        codePoint = b0 & 0x1Fu;
    } else if (inRange(b0, 0xE0, 0xEF)) {
        length = 3;
        codePoint = b0 & 0x0Fu;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (inRange(b0, 0xF0, 0xF4)) {
        length = 4;
        codePoint = b0 & 0x07u;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= bytes.size())
            return {0, i, false};
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!inRange(b, i == 1 ? low : 0x80, i == 1 ? high : 0xBF))
            return {0, i, false};
        codePoint = (codePoint << 6) | (b & 0x3Fu);
    }
    return {codePoint, length, true};
}

bool within(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// Three-byte characters that only Japanese text holds in practice: CJK punctuation, kana, CJK ideographs
// (with extension A and the compatibility ideographs of code page 932) and the full-width and half-width
// forms.
bool isJapanese(char32_t c) {
    return within(c, 0x3000, 0x30FF) || within(c, 0x3400, 0x4DBF) || within(c, 0x4E00, 0x9FFF) ||
           within(c, 0xF900, 0xFAFF) || within(c, 0xFF01, 0xFF9F) || within(c, 0xFFE0, 0xFFE5);
}

// Other characters that a Japanese heading may hold beside them, none of which proves anything alone.
bool mayAccompanyJapanese(char32_t c) {
    constexpr char32_t jisSigns[] = {0xA7, 0xA8, 0xB0, 0xB1,  0xB4,
                                     0xB6, 0xD7, 0xF7, 0x401, 0x451}; // § ¨ ° ± ´ ¶ × ÷ Ё ё
    for (char32_t sign : jisSigns)
        if (c == sign)
            return true;
    return within(c, 0x391, 0x3A9) || within(c, 0x3B1, 0x3C9) || // Greek
           within(c, 0x410, 0x44F) ||                            // Cyrillic
           within(c, 0x2010, 0x2312) || // punctuation, letterlike signs, Roman numerals, arrows, mathematics
           within(c, 0x2460, 0x26FF) || // circled numbers, box drawing, shapes, symbols
           within(c, 0x3200, 0x33FF) || // enclosed CJK and the squared units
           within(c, 0x1F300, 0x1FAFF); // pictographs
}

} // namespace

Evidence evidence(std::string_view bytes) {
    Evidence seen;
    while (!bytes.empty()) {
        const Sequence s = next(bytes);
        if (!s.valid)
            return {false, seen.japanese};
        if (s.length == 3 && isJapanese(s.codePoint))
            ++seen.japanese;
        else if (s.length > 1 && !mayAccompanyJapanese(s.codePoint))
            return {false, seen.japanese};
        bytes.remove_prefix(s.length);
    }
    return seen;
}

std::string decodeLine(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const Sequence s = next(bytes);
        if (s.valid)
            out.append(bytes.data(), s.length);
        else
            out += cp932::kReplacement;
        bytes.remove_prefix(s.length);
    }
    return out;
}

} // namespace velmora::utf8
