#pragma once

// Text crosses into the window system as UTF-16: the commands speak UTF-8, the wide API takes UTF-16.

#include <string>
#include <string_view>

namespace velmora {

/// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::wstring wideFromUtf8(std::string_view text);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8FromWide(std::wstring_view text);

} // namespace velmora
