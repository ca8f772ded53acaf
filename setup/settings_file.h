#pragma once

#include "setup/search_setup.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

/// Why a load failed; `None` when it succeeded.
enum class LoadFailure {
    None,
    FileNotFound,    // no such file in the folder looked in
    Unreadable,      // the file exists but could not be opened or read
    TooFewLines,     // fewer than 33 lines
    NotANumber,      // a number line holds something else
    OutOfRange,      // a number line's value does not fit its field
    HeadingRejected, // the heading sink refused a heading
    OutOfMemory,     // a line too long to hold
};

/// The outcome of one load: success, or the cause with the 1-based line it concerns.
struct LoadResult {
    LoadFailure failure = LoadFailure::None;
    int line = 0;       // the failing line (0 when the failure concerns no single line)
    int linesFound = 0; // with TooFewLines: how many lines the file holds

    bool ok() const { return failure == LoadFailure::None; }
    /// The cause in words (Japanese, UTF-8), for showing beneath the fixed message; empty on success.
    std::string cause() const;
};

/// Receives each heading as the loader assigns it: term number 1..8 and the text (UTF-8).
/// Returning false fails the load at that heading.
using HeadingSink = std::function<bool(int term, const std::string& heading)>;

/// The settings loader: fills a SearchSetup from the 33-line settings file.
///
/// Line 1 is the target; line k+1 the heading, line k+9 the weight, lines 2k+16 and 2k+17 the first and
/// last value of term k. Lines end at CR (an LF straight after a CR belongs to the line end; a lone LF is
/// text). The whole file is read and closed before anything is converted; each field is then assigned as
/// soon as it is converted, so a failure leaves exactly the fields before it in force.
class SettingsFile {
public:
    static constexpr std::string_view kFileName = "text-2x.ini";
    static constexpr std::string_view kFailureMessage = "text-2x.iniが見当たりません";
    static constexpr int kLineCount = 33;

    /// Loads from `path`; by default the bare name text-2x.ini, looked up in the current directory.
    static LoadResult load(SearchSetup& setup, const HeadingSink& sink = {},
                           const std::filesystem::path& path = std::filesystem::path(kFileName));

    /// Loads from the file's bytes already in memory (for tests and fuzzing; same rules as load).
    static LoadResult loadFromBytes(std::string_view bytes, SearchSetup& setup, const HeadingSink& sink = {});
};

} // namespace velmora
