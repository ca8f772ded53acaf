#include "setup/line_splitter.h"

#include <cstring>

namespace velmora {

LineSplitter::State LineSplitter::feed(std::string_view chunk) {
    while (!chunk.empty() && m_state == State::NeedMore) {
        if (m_afterCr) {
            m_afterCr = false;
            if (chunk[0] == '\n') {
                chunk.remove_prefix(1);
                continue;
            }
        }
        const void* cr = std::memchr(chunk.data(), '\r', chunk.size());
        const std::size_t n =
            cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - chunk.data()) : chunk.size();
        std::string& line = m_lines[static_cast<std::size_t>(m_count)];
        // The line is checked before it grows: a file of one endless line costs the limit, not the file.
        if (n > SettingsFile::kMaxLineBytes - line.size()) {
            m_state = State::LineTooLong;
            break;
        }
        line.append(chunk.data(), n);
        m_lineHasBytes = m_lineHasBytes || n > 0;
        chunk.remove_prefix(n);
        if (cr) {
            chunk.remove_prefix(1);
            endLine();
            m_afterCr = true;
        }
    }
    return m_state;
}

void LineSplitter::finish() {
    if (m_state == State::NeedMore && m_lineHasBytes)
        endLine();
}

void LineSplitter::endLine() {
    ++m_count;
    m_lineHasBytes = false;
    if (m_count == SettingsFile::kLineCount)
        m_state = State::Complete;
}

} // namespace velmora
