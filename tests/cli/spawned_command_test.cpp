// velmora-search as its own process: output that cannot be written, and a settings file that is a FIFO.
// Each case has a time limit, so that a program that never ends fails the test instead of holding it.
#ifndef _WIN32

#include "cli/checked_output.h"
#include "tests/cli/spawned_command.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using testing_support::SpawnedCommand;
using testing_support::StdoutTarget;

constexpr auto kTimeLimit = 10s;

// Target 0, all weights 0, every term 0..99: 10^16 rows, a listing that never ends in a test's time.
std::string endlessListing() {
    std::string bytes = "0\r\n";
    for (int k = 1; k <= 8; ++k)
        bytes += "h\r\n";
    for (int k = 1; k <= 8; ++k)
        bytes += "0\r\n";
    for (int k = 1; k <= 8; ++k)
        bytes += "0\r\n99\r\n";
    return bytes;
}

TEST(SpawnedCommand, OutputThatCannotBeWrittenStopsWithStatusFour) {
    testing_support::TempFolder folder("velmora-write-error");
    const std::string endless = (folder.path() / "endless.ini").string();
    testing_support::writeFile(endless, endlessListing());
    std::string noRows = endlessListing();
    noRows[0] = '1'; // target 1 with all weights 0: no solution, the header alone
    const std::string empty = (folder.path() / "empty.ini").string();
    testing_support::writeFile(empty, noRows);

    struct Case {
        const char* name;
        std::vector<std::string> args;
        StdoutTarget target;
        int error;
    };
    const Case cases[] = {
        {"listing to a full disk", {endless}, StdoutTarget::DiskFull, ENOSPC},
        {"CSV to a full disk", {"--csv", endless}, StdoutTarget::DiskFull, ENOSPC},
        {"count to a full disk", {"--count", endless}, StdoutTarget::DiskFull, ENOSPC},
        {"help to a full disk", {"--help"}, StdoutTarget::DiskFull, ENOSPC},
        {"listing to a closed stdout", {endless}, StdoutTarget::Closed, EBADF},
        {"help to a closed stdout", {"--help"}, StdoutTarget::Closed, EBADF},
        {"listing to a read-only stdout", {endless}, StdoutTarget::ReadOnly, EBADF},
        {"listing to a dead pipe", {endless}, StdoutTarget::DeadPipe, EPIPE},
        {"header alone to a dead pipe", {"--header", empty}, StdoutTarget::DeadPipe, EPIPE},
        {"count to a dead pipe", {"--count", empty}, StdoutTarget::DeadPipe, EPIPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpawnedCommand run(c.args, c.target);
        if (!run.waitFor(kTimeLimit)) {
            ADD_FAILURE() << "still running after the output failed";
            continue;
        }
        EXPECT_EQ(run.status(), 4);
        EXPECT_EQ(run.err(), std::string("velmora-search: write error: ") + std::strerror(c.error) + "\n");
    }
}

// Between a search's phases the output is checked without a write: a pipe whose reader has gone
// fails at once, a pipe still read and a file do not.
TEST(CheckedOutput, IdleNoticesAPipeWhoseReaderHasGone) {
    testing_support::TempFolder folder("velmora-idle");
    for (const int kind : {0, 1, 2}) { // a pipe read, a pipe whose reader has gone, a file
        SCOPED_TRACE(kind);
        int ends[2] = {-1, -1};
        std::FILE* out = nullptr;
        if (kind == 2) {
            out = std::fopen((folder.path() / "out.txt").c_str(), "w");
        } else {
            ASSERT_EQ(::pipe(ends), 0);
            out = ::fdopen(ends[1], "w");
            if (kind == 1)
                ::close(ends[0]);
        }
        ASSERT_NE(out, nullptr);
        CheckedOutput output(out);
        try {
            output.idle();
            EXPECT_NE(kind, 1) << "a pipe without a reader passed";
        } catch (const WriteError& error) {
            EXPECT_EQ(kind, 1);
            EXPECT_EQ(std::string(error.what()), std::strerror(EPIPE));
        }
        std::fclose(out);
        if (kind == 0)
            ::close(ends[0]);
    }
}

TEST(SpawnedCommand, FifoWhoseWriterStaysOpenIsReadToLineThirtyThree) {
    testing_support::TempFolder folder("velmora-fifo");
    const std::filesystem::path fifo = folder.path() / "text-2x.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    constexpr std::string_view kHeadings[8] = {"a", "b", "c", "d", "e", "f", "g", "h"};
    const std::string bytes = testing_support::settingsBytes("10", kHeadings);

    SpawnedCommand run({"--count", fifo.string()}, StdoutTarget::File);
    // The writer's end opens once the program has opened its own; it stays open until the program ends
    // or the time is up.
    int writer = -1;
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    while ((writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_GE(writer, 0) << std::strerror(errno);
    ASSERT_EQ(::write(writer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const bool ended = run.waitFor(kTimeLimit);
    ::close(writer);
    EXPECT_TRUE(ended) << "still reading after line 33 while the writer stayed open";
    ASSERT_TRUE(run.waitFor(kTimeLimit));
    EXPECT_EQ(run.status(), 0) << run.err();
    EXPECT_EQ(run.out(), "8\n"); // the subsets of the weights 1..8 that sum to 10
}

} // namespace
} // namespace velmora

#endif
