#pragma once

#include "setup/line_splitter.h"
#include "setup/settings_file.h"

#include <filesystem>
#include <string>

namespace velmora {

/// How reading the settings file ended. `failure` is None when the splitter needs no more bytes or the
/// file has ended, otherwise FileNotFound or Unreadable with the system's own words in `reason`.
struct ReadOutcome {
    LoadFailure failure = LoadFailure::None;
    std::string reason; // UTF-8, without a final full stop
};

/// Opens `path` and hands its bytes to `splitter` as they arrive, and closes it. It stops as soon as the
/// splitter needs no more, so a pipe or FIFO whose writer stays open after line 33 does not hold it.
/// One implementation per platform; both read through the system's own calls, never a buffered stream
/// that would wait to fill its buffer.
ReadOutcome readSettingsFile(const std::filesystem::path& path, LineSplitter& splitter);

} // namespace velmora
