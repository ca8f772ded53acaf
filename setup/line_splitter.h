#pragma once

#include "setup/settings_file.h"

#include <array>
#include <string>
#include <string_view>

namespace velmora {

/// The first 33 lines of the settings file as raw bytes, line 1 in the first slot.
using SettingsLines = std::array<std::string, SettingsFile::kLineCount>;

/// Cuts the bytes of the settings file, fed in chunks as they arrive, into its first 33 lines. A line ends
/// at CR; an LF straight after a CR belongs to that end; a lone LF is text. It takes no byte after the CR
/// of line 33, and stops at the first line longer than SettingsFile::kMaxLineBytes, so that what it holds
/// never exceeds the lines it keeps.
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

private:
    void endLine();

    SettingsLines& m_lines;
    State m_state = State::NeedMore;
    int m_count = 0;
    bool m_afterCr = false;
    bool m_lineHasBytes = false;
};

} // namespace velmora
