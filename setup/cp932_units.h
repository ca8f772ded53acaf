#pragma once

#include <cstddef>
#include <string_view>

// The byte structure of code page 932, shared by the decoder's platform implementations so that both cut
// a line into the same units and replace the same bytes.
namespace velmora::cp932 {

/// The UTF-8 form of U+FFFD, which stands in for each unit that does not decode.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

inline bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

/// A byte that is a character on its own: ASCII or a half-width katakana. 80, A0 and FD to FF are not,
/// although the Windows table maps some of them for round trips.
inline bool isSingleByteCharacter(unsigned char b) { return b <= 0x7F || (b >= 0xA1 && b <= 0xDF); }

/// Length of the unit at the front of `bytes` (not empty): a lead byte followed by a trail byte is one
/// unit of two bytes, whether or not the pair is assigned; any other byte is a unit of its own.
inline std::size_t unitLength(std::string_view bytes) {
    if (bytes.size() >= 2 && isLeadByte(static_cast<unsigned char>(bytes[0])) &&
        isTrailByte(static_cast<unsigned char>(bytes[1])))
        return 2;
    return 1;
}

} // namespace velmora::cp932
