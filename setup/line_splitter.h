#pragma once

#include "setup/settings_file.h"

#include <array>
#include <string>
#include <string_view>

namespace velmora {

/// The first 33 lines of the settings file as raw bytes, line 1 in the first slot.
using SettingsLines = std::array<std::string, SettingsFile::kLineCount>;

/// Cuts the bytes of the settings file, fed in chunks as they arrive, into its first 33 lines.
///
/// A file with a CR has its lines ended by CR: an LF straight after a CR belongs to that end, and a lone LF
/// is text. A file without any CR has its lines ended by LF, as editors on Linux and macOS save it. Until
/// the first CR the splitter cuts at LF; a CR then joins the lines cut so far back into line 1, exactly as
/// the CR rule reads them. Line 33 ending at an LF before any CR settles it: nothing after it is read, so
/// the rule is "no CR in the 33 lines". It takes no byte after the end of line 33, and stops at the first
/// line longer than SettingsFile::kMaxLineBytes, so that what it holds never exceeds the lines it keeps.
class LineSplitter {
public:
    enum class State {
        NeedMore,    // feed it the next chunk, or finish() at the end of the file
        Complete,    // 33 lines are in; nothing more is read
        LineTooLong, // line count() + 1 is longer than the limit; nothing more is read
    };

    explicit LineSplitter(SettingsLines& lines) : m_lines(lines) {}

    /// Takes the next chunk of the file; returns the state after it.
    State feed(std::string_view chunk);
    /// The end of the file ends a last line that has no line end; it adds no empty line after one.
    void finish();

    State state() const { return m_state; }
    /// Lines completed so far.
    int count() const { return m_count; }
    /// How the lines were ended: LF when no CR came before the end of line 33 (or of the file) and at
    /// least one LF ended a line, else CR.
    LineEnds lineEnds() const { return m_sawCr || !m_lfEnded ? LineEnds::Cr : LineEnds::Lf; }
    /// Whether an LF without a CR before it stayed inside a line read by the CR rule.
    bool loneLineFeedInLines() const { return m_loneLf; }

private:
    void takeFirstCr();
    void endLine();

    SettingsLines& m_lines;
    State m_state = State::NeedMore;
    int m_count = 0;
    bool m_sawCr = false;
    bool m_afterCr = false;
    bool m_lfEnded = false; // an LF ended a line before any CR
    bool m_lineHasBytes = false;
    bool m_loneLf = false;
};

} // namespace velmora
