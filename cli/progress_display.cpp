#include "cli/progress_display.h"

#include <cmath>

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

std::string ProgressDisplay::lineText(double done, const SolutionCount& solutions) {
    // Floor, so that 100% shows only when the work is done.
    const int percent = static_cast<int>(std::floor(std::fmin(std::fmax(done, 0.0), 1.0) * 100));
    const std::string count = solutions.text();
    std::string line = "velmora-search: ";
    line.append(std::to_string(percent)).append("% searched, ").append(count);
    line.append(count == "1" ? " solution" : " solutions");
    return line;
}

void ProgressDisplay::report(double done, const SolutionCount& solutions) noexcept {
    if (!m_enabled || std::chrono::steady_clock::now() - m_start < kQuiet)
        return;
    try {
        std::string line = "\r";
        line.append(lineText(done, solutions));
        const std::size_t length = line.size() - 1;
        if (length < m_shown) // blank what is left of a longer line
            line.append(m_shown - length, ' ').append(m_shown - length, '\b');
        std::fwrite(line.data(), 1, line.size(), m_err);
        std::fflush(m_err);
        m_shown = length;
    } catch (...) { // without memory for the line, the search goes on without it
    }
}

void ProgressDisplay::erase() noexcept {
    if (m_shown == 0)
        return;
    std::fputc('\r', m_err);
    for (std::size_t i = 0; i < m_shown; ++i)
        std::fputc(' ', m_err);
    std::fputc('\r', m_err);
    std::fflush(m_err);
    m_shown = 0;
}

} // namespace velmora
