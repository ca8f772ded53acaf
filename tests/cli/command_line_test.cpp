#include "cli/command_line.h"
#include "tests/cli/command_run.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

using testing_support::CommandRun;

CommandRun runWith(const std::vector<std::string>& args) { return testing_support::runCommand(args); }

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A settings file in a folder of its own: target, eight headings, weights, then (first, last) pairs.
class CommandLine : public ::testing::Test {
protected:
    std::string writeSettings(const std::string& target, const std::vector<std::string>& weights,
                              const std::vector<std::string>& ranges, const std::string& name = "text-2x.ini") {
        std::vector<std::string> lines = {target, "a", "b", "c", "d", "e", "f", "g", "h"};
        lines.insert(lines.end(), weights.begin(), weights.end());
        lines.insert(lines.end(), ranges.begin(), ranges.end());
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        const fs::path path = m_folder.path() / name;
        testing_support::writeFile(path, bytes);
        return path.string();
    }

    testing_support::TempFolder m_folder{"velmora-cli"};
};

const std::vector<std::string> kZeroRanges(16, "0");

TEST_F(CommandLine, PrintsEachSolutionAsATabSeparatedRow) {
    std::vector<std::string> ranges = kZeroRanges;
    ranges[0] = "-2"; // term 1: -2..2
    ranges[1] = "2";
    ranges[14] = "0"; // term 8: 0..1
    ranges[15] = "1";
    const std::string file = writeSettings("-3", {"3", "0", "0", "0", "0", "0", "0", "-3"}, ranges);
    const CommandRun run = runWith({file});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "-3\t-1\t0\t0\t0\t0\t0\t0\t0\n"
                       "-3\t0\t0\t0\t0\t0\t0\t0\t1\n");
}

TEST_F(CommandLine, HeaderLineAndCount) {
    const std::string file = writeSettings("0", std::vector<std::string>(8, "0"), kZeroRanges);
    const CommandRun header = runWith({"--header", file});
    EXPECT_EQ(header.status, kExitOk);
    EXPECT_EQ(header.out, "合計\ta\tb\tc\td\te\tf\tg\th\n0\t0\t0\t0\t0\t0\t0\t0\t0\n");

    const CommandRun count = runWith({file, "--count"});
    EXPECT_EQ(count.status, kExitOk);
    EXPECT_EQ(count.out, "1\n");
}

TEST_F(CommandLine, NoSolutionIsNotAnError) {
    const std::string file = writeSettings("1", std::vector<std::string>(8, "0"), kZeroRanges);
    EXPECT_EQ(runWith({file}).out, "");
    EXPECT_EQ(runWith({file}).status, kExitOk);
    EXPECT_EQ(runWith({"--count", file}).out, "0\n");
}

TEST_F(CommandLine, OverflowWritesTheRowsBeforeItAndExitsThree) {
    std::vector<std::string> ranges = kZeroRanges;
    ranges[1] = "21"; // term 1: 0..21
    ranges[15] = "30"; // term 8: 0..30, overflows at 22
    const std::string file =
        writeSettings("0", {"-100000000", "0", "0", "0", "0", "0", "0", "100000000"}, ranges);
    const CommandRun rows = runWith({file});
    EXPECT_EQ(rows.status, kExitRunTimeError);
    EXPECT_EQ(splitLines(rows.out).size(), 22u);
    EXPECT_EQ(splitLines(rows.out).back(), "0\t21\t0\t0\t0\t0\t0\t0\t21");
    EXPECT_NE(rows.err.find("6"), std::string::npos);
    EXPECT_NE(rows.err.find("オーバーフローしました。"), std::string::npos);

    const CommandRun count = runWith({"--count", file});
    EXPECT_EQ(count.status, kExitRunTimeError);
    EXPECT_EQ(count.out, "22\n");
}

TEST_F(CommandLine, FailedLoadPrintsMessageAndCauseOnly) {
    std::vector<std::string> ranges = kZeroRanges;
    ranges[5] = "x"; // line 23
    const std::string file = writeSettings("0", std::vector<std::string>(8, "0"), ranges);
    for (const std::string& path : {file, (m_folder.path() / "missing.ini").string()}) {
        SCOPED_TRACE(path);
        const CommandRun run = runWith({"--header", path});
        EXPECT_EQ(run.status, kExitLoadFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("text-2x.iniが見当たりません\n", 0), 0u) << run.err;
        EXPECT_GT(run.err.size(), std::string("text-2x.iniが見当たりません\n").size());
    }
    EXPECT_NE(runWith({file}).err.find("23 行目"), std::string::npos);
}

TEST_F(CommandLine, DefaultFileIsTheBareNameInTheCurrentDirectory) {
    writeSettings("0", std::vector<std::string>(8, "0"), kZeroRanges);
    const CommandRun run = [&] {
        testing_support::CurrentDirectory current(m_folder.path());
        return runWith({"--count"});
    }();
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "1\n");
}

TEST_F(CommandLine, UsageErrorsAndHelp) {
    const CommandRun help = runWith({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("usage: velmora-search"), std::string::npos);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frobnicate"}, std::vector<std::string>{"a.ini", "b.ini"},
          std::vector<std::string>{"-x"}}) {
        const CommandRun run = runWith(args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: velmora-search"), std::string::npos);
    }
}

TEST_F(CommandLine, ReferenceEngineGivesTheSameRows) {
    const std::string file = (fs::path(VELMORA_SOURCE_DIR) / "examples" / "text-2x.ini").string();
    const CommandRun fast = runWith({file});
    const CommandRun reference = runWith({"--reference", file});
    EXPECT_EQ(fast.status, kExitOk);
    EXPECT_EQ(fast.out, reference.out);
    EXPECT_EQ(splitLines(fast.out).size(), 23u);
}

} // namespace
} // namespace velmora
