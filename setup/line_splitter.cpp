#include "setup/line_splitter.h"

#include <cstring>

namespace velmora {
namespace {

const char* find(std::string_view bytes, char c) {
    return static_cast<const char*>(std::memchr(bytes.data(), c, bytes.size()));
}

} // namespace

LineSplitter::State LineSplitter::feed(std::string_view chunk) {
    while (!chunk.empty() && m_state == State::NeedMore) {
        if (m_afterCr) {
            m_afterCr = false;
            if (chunk[0] == '\n') {
                chunk.remove_prefix(1);
                continue;
            }
        }
        const char* cr = find(chunk, '\r');
        std::size_t n = cr ? static_cast<std::size_t>(cr - chunk.data()) : chunk.size();
        // Until the first CR an LF ends the line; after it an LF is text.
        const char* lf = find(chunk.substr(0, n), '\n');
        if (lf && !m_sawCr)
            n = static_cast<std::size_t>(lf - chunk.data());
        else if (lf)
            m_loneLf = true;
        std::string& line = m_lines[static_cast<std::size_t>(m_count)];
        // The line is checked before it grows: a file of one endless line costs the limit, not the file.
        if (n > SettingsFile::kMaxLineBytes - line.size()) {
            m_state = State::LineTooLong;
            break;
        }
        line.append(chunk.data(), n);
        m_lineHasBytes = m_lineHasBytes || n > 0;
        chunk.remove_prefix(n);
        if (chunk.empty())
            break;
        const bool atCr = chunk[0] == '\r';
        chunk.remove_prefix(1);
        if (atCr && !m_sawCr) {
            takeFirstCr();
            if (m_state != State::NeedMore)
                break;
        }
        m_lfEnded = m_lfEnded || !atCr;
        m_afterCr = atCr;
        endLine();
    }
    return m_state;
}

// The first CR: the file is read by the CR rule after all, and everything before it is line 1, the LFs
// that ended lines so far included.
void LineSplitter::takeFirstCr() {
    m_sawCr = true;
    if (m_count == 0)
        return;
    std::size_t size = static_cast<std::size_t>(m_count);
    for (int i = 0; i <= m_count; ++i)
        size += m_lines[static_cast<std::size_t>(i)].size();
    m_loneLf = true;
    m_lineHasBytes = true;
    const int joined = m_count;
    m_count = 0;
    if (size > SettingsFile::kMaxLineBytes) {
        m_state = State::LineTooLong;
        return;
    }
    std::string& first = m_lines[0];
    first.reserve(size);
    for (int i = 1; i <= joined; ++i) {
        std::string& line = m_lines[static_cast<std::size_t>(i)];
        first += '\n';
        first += line;
        std::string().swap(line);
    }
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
