#pragma once

#include "search/search_progress.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace velmora {

/// Whether `stream` is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

/// How far a long search has got, on one line of the error stream: "velmora-search: 37% searched,
/// 1234 solutions", redrawn in place at most every tenth of a second once the search has run for about
/// a second, and erased at the end. Shows nothing when it is not enabled.
class ProgressDisplay final : public SearchProgress {
public:
    /// Enabled when `err` is a terminal and `enabled` holds (the caller's own conditions).
    ProgressDisplay(std::FILE* err, bool enabled);
    ~ProgressDisplay() override { erase(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    /// Null when not enabled, so that the engine does not even ask the clock.
    SearchProgress* hook() { return m_enabled ? this : nullptr; }

    void report(double done, const SolutionCount& solutions) noexcept override;
    /// Blanks the line, if one is shown; call it before writing anything else to the error stream.
    void erase() noexcept;

    /// The text of the line, for a share done and a number of solutions.
    static std::string lineText(double done, const SolutionCount& solutions);

private:
    static constexpr std::chrono::milliseconds kQuiet{1000}; // nothing shown before this

    std::FILE* m_err;
    bool m_enabled;
    std::size_t m_shown = 0; // the length of the line on the screen; 0: none
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace velmora
