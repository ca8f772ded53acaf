#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The settings file in UTF-8, as today's editors save it: the byte-order mark, a strict decoder, and the
// rule that tells a UTF-8 file without the mark from one in code page 932.
namespace velmora::utf8 {

/// The byte-order mark that Notepad's "UTF-8 (BOM 付き)" writes at the start of a file.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// What the bytes of a line say about a file without a byte-order mark: whether they could be Japanese
/// text in UTF-8, and how many characters of three bytes from kana, CJK ideographs and punctuation and the
/// full-width forms they hold. Every other non-ASCII character must come from the characters that Japanese
/// text holds beside them (the JIS symbols, Greek and Cyrillic letters, the few Latin-1 signs of JIS X 0208,
/// pictographs); they are allowed but prove nothing. Only three-byte characters count, because every pair
/// of half-width katakana that is valid UTF-8 decodes to two bytes (ﾃｽ is ý).
struct Evidence {
    bool possible = true;     // valid UTF-8 of the characters above only
    std::size_t japanese = 0; // three-byte Japanese characters
};
Evidence evidence(std::string_view bytes);

/// A file without the mark is read as UTF-8 when every line is possible and together they hold at least
/// this many Japanese characters: a pair of code page 932 characters that is valid UTF-8 decodes to at
/// most one of them, so no such pair can trip the rule, and a real file rarely meets it by chance (the
/// figures are in tests/setup/utf8_text_test.cpp). Where the rule cannot tell, code page 932 wins.
inline constexpr std::size_t kJapaneseCharactersNeeded = 2;

/// Decodes a line read as UTF-8: valid text is kept as it is, and each maximal ill-formed part becomes
/// U+FFFD, as the code page 932 decoder does with a unit that does not decode. Never fails.
std::string decodeLine(std::string_view bytes);

} // namespace velmora::utf8
