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
};

/// velmora-search [--count] [--header] [--reference] [FILE]
/// `args` excludes the program name and is UTF-8. Writes the solutions (or their count) to `out`, the
/// reasons of a failure to `err`, and returns the exit status.
int runCommandLine(std::span<const std::string> args, std::FILE* out, std::FILE* err);

} // namespace velmora
