#include "cli/progress_display.h"

#include "cli/messages.h"
#include "cli/text_output.h"

#include <cmath>
#include <string_view>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>
#else
#include <unistd.h>
#endif

namespace velmora {

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
    // _isatty also holds for NUL; only a console has a console mode.
    DWORD mode = 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return ::isatty(::fileno(stream)) == 1;
#endif
}

ProgressDisplay::ProgressDisplay(std::FILE* err, bool enabled) : m_err(err), m_enabled(enabled && isTerminal(err)) {}

namespace {

// The columns a line takes on a terminal: every character of our messages outside ASCII is a
// full-width one.
std::size_t columns(std::string_view text) {
    std::size_t width = 0;
    for (unsigned char c : text) {
        if (c < 0x80)
            ++width;
        else if (c >= 0xC0) // the first byte of a character outside ASCII
            width += 2;
    }
    return width;
}

} // namespace

std::string ProgressDisplay::lineText(double done, const SolutionCount& solutions) {
    // Floor, so that 100% shows only when the work is done.
    const int percent = static_cast<int>(std::floor(std::fmin(std::fmax(done, 0.0), 1.0) * 100));
    const std::string share = std::to_string(percent) + "%";
    const std::string count = solutions.text();
    return "velmora-search: " + (count == "1" ? tr("%s searched, %s solution", {share, count})
                                             : tr("%s searched, %s solutions", {share, count}));
}

void ProgressDisplay::report(double done, const SolutionCount& solutions) noexcept {
    if (!m_enabled || std::chrono::steady_clock::now() - m_start < kQuiet)
        return;
    try {
        std::string line = "\r";
        line.append(lineText(done, solutions));
        const std::size_t width = columns(line);
        if (width < m_shown) // blank what is left of a longer line
            line.append(m_shown - width, ' ').append(m_shown - width, '\b');
        writeText(m_err, line);
        flushText(m_err);
        m_shown = width;
    } catch (...) { // without memory for the line, the search goes on without it
    }
}

void ProgressDisplay::erase() noexcept {
    if (m_shown == 0)
        return;
    try {
        std::string blank = "\r";
        blank.append(m_shown, ' ').append("\r");
        writeText(m_err, blank);
        flushText(m_err);
    } catch (...) {
    }
    m_shown = 0;
}

} // namespace velmora
