// The progress line of velmora-search, seen as a user sees it: the real program with its error
// stream on a pseudo-terminal, and on a pipe. POSIX only.
#ifndef _WIN32

#include "cli/progress_display.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace velmora {
namespace {

// A count that takes a few seconds: 224 values a term whose weights hide a common modulus.
void writeSlowSetup(const std::filesystem::path& path) {
    const int a[8] = {3, 1, 4, 1, 5, 9, 2, 6};
    const int b[8] = {1, 2, 3, 5, 7, 11, 13, 17};
    const int M = 289301;
    std::ofstream out(path, std::ios::binary);
    out << M * (31 * 223 / 2) + M / 2 << "\r\n";
    for (int k = 1; k <= 8; ++k)
        out << 'T' << k << "\r\n";
    for (int k = 0; k < 8; ++k)
        out << M * a[k] + b[k] << "\r\n";
    for (int k = 0; k < 8; ++k)
        out << "0\r\n223\r\n";
}

struct Finished {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the program with standard output to a file and its error stream on a new pseudo-terminal
// (`terminal`) or on a pipe, and collects both.
Finished runWithErrorOn(bool terminal, const std::vector<std::string>& args, const testing_support::TempFolder& folder) {
    const std::string outPath = (folder.path() / "out.txt").string();
    int reader = -1, writer = -1;
    if (terminal) {
        if (::openpty(&reader, &writer, nullptr, nullptr, nullptr) != 0)
            return {};
    } else {
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        reader = ends[0];
        writer = ends[1];
    }
    std::vector<std::string> words = {VELMORA_SEARCH_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(writer, 2);
        ::dup2(outFd, 1);
        ::close(reader);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(writer);
    ::close(outFd);
    Finished run;
    char buffer[4096];
    for (;;) { // a pseudo-terminal reports EIO once the program has gone
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(reader);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outPath, std::ios::binary);
    run.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

TEST(ProgressDisplay, LongCountOnATerminalShowsOneLineAndErasesIt) {
    testing_support::TempFolder folder("velmora-progress");
    const std::string setup = (folder.path() / "slow.ini").string();
    writeSlowSetup(setup);
    const Finished run = runWithErrorOn(true, {"--count", setup}, folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0\n");
    // Redrawn in place: carriage returns, never a line feed, a share and the solutions so far.
    ASSERT_NE(run.err.find("\rvelmora-search: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), std::string::npos);
    EXPECT_NE(run.err.find("% searched, 0 solutions"), std::string::npos);
    // Erased at the end: the last thing written is blanks over the line, then the cursor at its start.
    const std::size_t lastLine = run.err.rfind("velmora-search: ");
    const std::size_t blank = run.err.find_first_not_of(' ', run.err.find('\r', lastLine) + 1);
    EXPECT_EQ(blank, run.err.size() - 1);
    EXPECT_EQ(run.err.back(), '\r');
}

TEST(ProgressDisplay, NothingOnAPipe) {
    testing_support::TempFolder folder("velmora-progress");
    const std::string setup = (folder.path() / "slow.ini").string();
    writeSlowSetup(setup);
    const Finished run = runWithErrorOn(false, {"--count", setup}, folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0\n");
    EXPECT_EQ(run.err, "");
}

TEST(ProgressDisplay, LineTextAtTheEdges) {
    EXPECT_EQ(ProgressDisplay::lineText(0, SolutionCount()), "velmora-search: 0% searched, 0 solutions");
    EXPECT_EQ(ProgressDisplay::lineText(0.999, SolutionCount(1)), "velmora-search: 99% searched, 1 solution");
    EXPECT_EQ(ProgressDisplay::lineText(1, SolutionCount(1000000)), "velmora-search: 100% searched, 1000000 solutions");
    EXPECT_EQ(ProgressDisplay::lineText(1.5, SolutionCount(2)), "velmora-search: 100% searched, 2 solutions");
}

} // namespace
} // namespace velmora

#endif
