#pragma once

#include <string>
#include <string_view>

namespace velmora {

/// Decodes one line of the settings file from the system's ANSI code page (code page 932, the Windows
/// form of Shift_JIS) to UTF-8. A byte sequence that does not decode becomes U+FFFD and the rest of the
/// line survives: a lead byte followed by a trail byte is one unit, any other byte is a unit of its own.
/// Decoding never fails.
std::string decodeAnsiLine(std::string_view bytes);

} // namespace velmora
