#pragma once

#include "setup/search_setup.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

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
    LineTooLong,     // a line longer than SettingsFile::kMaxLineBytes
};

/// How the lines of the file were ended.
enum class LineEnds {
    Cr, // CR or CR LF; an LF without a CR before it is text (every file that holds a CR)
    Lf, // LF: a file with no CR in its 33 lines
};

/// How the bytes of the lines were decoded to text.
enum class TextEncoding {
    Ansi,         // the system's ANSI code page (code page 932 off Windows)
    Utf8WithMark, // UTF-8, the file beginning with the byte-order mark, which is dropped
    Utf8,         // UTF-8 without the mark, by the rule in setup/utf8_text.h
};

/// How a file was read; the cause of a failure mentions it where that helps the user.
struct FileReading {
    LineEnds lineEnds = LineEnds::Cr;
    TextEncoding encoding = TextEncoding::Ansi;
    bool loneLineFeed = false; // an LF without a CR stayed inside a line read by the CR rule
};

/// The outcome of one load: success, or the cause with the 1-based line it concerns.
struct LoadResult {
    LoadResult() = default;
    LoadResult(LoadFailure failure_, int line_, int linesFound_, std::string reason_ = {})
        : failure(failure_), line(line_), linesFound(linesFound_), reason(std::move(reason_)) {}

    LoadFailure failure = LoadFailure::None;
    int line = 0;       // the failing line (0 when the failure concerns no single line)
    int linesFound = 0; // with TooFewLines: how many lines the file holds
    std::string reason; // with FileNotFound and Unreadable: the system's own words (UTF-8)
    FileReading reading; // how the lines were read, once they were

    bool ok() const { return failure == LoadFailure::None; }
    /// The cause in words (Japanese, UTF-8), for showing beneath the fixed message; empty on success.
    /// `path` is the file as the user named it, shown where the file as a whole failed; leave it empty
    /// for the bare name text-2x.ini, which the fixed message already names.
    std::string cause(std::string_view path = {}) const;
};

/// Receives each heading as the loader assigns it: term number 1..8 and the text (UTF-8).
/// Returning false fails the load at that heading.
using HeadingSink = std::function<bool(int term, const std::string& heading)>;

/// The settings loader: fills a SearchSetup from the 33-line settings file.
///
/// Line 1 is the target; line k+1 the heading, line k+9 the weight, lines 2k+16 and 2k+17 the first and
/// last value of term k. Lines end at CR (an LF straight after a CR belongs to the line end; a lone LF is
/// text), or at LF in a file with no CR (setup/line_splitter.h). The text is the ANSI code page's, or UTF-8
/// when the file begins with the byte-order mark or its lines are UTF-8 by the rule of setup/utf8_text.h.
/// The whole file is read and closed before anything is converted; each field is then assigned as soon
/// as it is converted, so a failure leaves exactly the fields before it in force. Reading stops at the end
/// of line 33, and at the first line longer than kMaxLineBytes, which fails the load at that line.
class SettingsFile {
public:
    static constexpr std::string_view kFileName = "text-2x.ini";
    static constexpr std::string_view kFailureMessage = "text-2x.iniが見当たりません";
    static constexpr int kLineCount = 33;
    /// The longest line the loader takes, in bytes without its line end: far above any heading a label
    /// can show, and a bound on the memory that one bad file (or /dev/zero) can claim.
    static constexpr std::size_t kMaxLineBytes = std::size_t{16} << 20;

    /// Loads from `path`; by default the bare name text-2x.ini, looked up in the current directory.
    static LoadResult load(SearchSetup& setup, const HeadingSink& sink = {},
                           const std::filesystem::path& path = std::filesystem::path(kFileName));

    /// Loads from the file's bytes already in memory (for tests and fuzzing; same rules as load).
    static LoadResult loadFromBytes(std::string_view bytes, SearchSetup& setup, const HeadingSink& sink = {});
};

} // namespace velmora
