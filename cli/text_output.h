#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

/// Writes UTF-8 text to one of the program's streams (standard output, standard error) as its user
/// should see it: a Windows console gets it through the console's wide-character interface, so that
/// Japanese shows whatever the console's code page; a file, a pipe or a terminal elsewhere gets the bytes
/// unchanged. `text` is whole characters. Returns nothing on success, else the system's reason for the
/// failure, in the user's language. Any writer of the program's text uses this, so that the two paths
/// never mix on one stream.
std::optional<std::string> writeText(std::FILE* stream, std::string_view text);

/// Hands the bytes that `stream` still buffers on to the system; a failure as with writeText.
std::optional<std::string> flushText(std::FILE* stream);

/// The system's reason for the C library's error number `error` (errno), in the user's language.
std::string systemReason(int error);

} // namespace velmora
