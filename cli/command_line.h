#pragma once

#include <cstdio>
#include <span>
#include <string>

namespace velmora {

/// Exit statuses of velmora-search.
enum CommandLineStatus {
    kExitOk = 0,
    kExitLoadFailed = 1,
    kExitUsage = 2,
    kExitRunTimeError = 3,
    kExitWriteError = 4, // the output could not be written; the program stops at the first failure
};

/// velmora-search [--count | --csv] [--header] [--reference] [FILE], or --help, or --version.
/// `args` excludes the program name and is UTF-8. Writes the solutions (or their count) to `out`, the
/// reasons of a failure to `err`, and returns the exit status. Every write to `out` is checked, up to
/// and with its final flush.
int runCommandLine(std::span<const std::string> args, std::FILE* out, std::FILE* err);

} // namespace velmora
