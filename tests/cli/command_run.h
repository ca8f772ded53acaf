#pragma once

#include "cli/command_line.h"
#include "tests/temp_folder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace velmora::testing_support {

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs the command line in-process with its two streams captured in files of a scratch folder (not
/// tmpfile(), which on Windows writes to the root of the drive), read back as bytes.
inline CommandRun runCommand(const std::vector<std::string>& args) {
    TempFolder scratch("velmora-output");
    const std::filesystem::path outPath = scratch.path() / "out.txt";
    const std::filesystem::path errPath = scratch.path() / "err.txt";
    std::FILE* out = openFile(outPath, true);
    std::FILE* err = openFile(errPath, true);
    CommandRun run;
    if (out && err)
        run.status = runCommandLine(args, out, err);
    if (out)
        std::fclose(out);
    if (err)
        std::fclose(err);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

} // namespace velmora::testing_support
