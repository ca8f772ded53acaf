#pragma once

#include "search/byte_sink.h"

#include <filesystem>
#include <functional>
#include <string>

namespace velmora {

/// Writes a file whole or not at all. `write` writes the contents into a new file of a temporary name
/// beside `target`; only once every byte has reached the disk is it renamed over `target` (POSIX rename,
/// MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows), so that a reader sees the old file or the
/// new one, never a part. On any failure (no room, no permission, a name too long, `target` a folder)
/// the temporary file is removed and `target` is left as it was. A symbolic link is followed: the file it
/// names is replaced, the link stays. On POSIX a replaced file keeps its mode.
/// Returns the system's reason for the failure, or an empty string when the file was written.
std::string writeFileWhole(const std::filesystem::path& target, const std::function<void(ByteSink&)>& write);

/// The system's text for its last failure (errno; GetLastError on Windows, in the system's language), UTF-8.
std::string lastSystemErrorText();

} // namespace velmora
