#pragma once

// Windows only: text crosses into the system's wide API as UTF-16 (file names, the command line, system
// messages, the window's texts), while the program speaks UTF-8.

#include <string>
#include <string_view>

namespace velmora {

/// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::wstring wideFromUtf8(std::string_view text);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8FromWide(std::wstring_view text);
/// The system's text for a Windows error code (FormatMessageW, in the user's UI language), in UTF-8,
/// without its line end and final full stop.
std::string windowsErrorText(unsigned long error);

} // namespace velmora
