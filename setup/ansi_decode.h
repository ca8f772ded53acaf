#pragma once

#include <string>
#include <string_view>

namespace velmora {

/// Decodes one line of the settings file from the system's ANSI code page to UTF-8: on Windows through
/// the system's own (code page 932, the Windows form of Shift_JIS, on a Japanese desktop), elsewhere as
/// code page 932. A byte sequence that does not decode becomes U+FFFD and the rest of the line survives:
/// a lead byte followed by a trail byte is one unit, any other byte is a unit of its own. Under code page
/// 932 both platforms give the same text for every line. Decoding never fails.
std::string decodeAnsiLine(std::string_view bytes);

} // namespace velmora
