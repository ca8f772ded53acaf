#include "cli/command_line.h"
#include "tests/cli/command_run.h"
#include "tests/temp_folder.h"

#include "setup/settings_file.h"
#include "velmora_version.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
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

// A file that fails as a whole names the path as given and the system's reason; a line over the limit
// fails at that line with a cause of its own.
TEST_F(CommandLine, LoadFailureCausesNameThePathAndTheReason) {
    const std::string folder = m_folder.path().string();
    std::vector<std::string> headings(8, "h");
    headings[0] = std::string(SettingsFile::kMaxLineBytes + 1, 'x');
    std::string overLimit = "0\r\n";
    for (const std::string& heading : headings)
        overLimit += heading + "\r\n";
    for (int k = 0; k < 8 + 16; ++k)
        overLimit += "0\r\n";
    testing_support::writeFile(m_folder.path() / "long.ini", overLimit);

    struct Case {
        std::string path;
        std::string cause; // the line beneath the fixed message
        bool whole = true; // false: the cause starts so, and the system's words follow
    };
    std::vector<Case> cases = {
        {folder + "/missing.ini", "ファイル「" + folder + "/missing.ini」がありません。"},
        {folder + "/long.ini", "2 行目：行が長すぎます（1 行 16777216 バイトまで）。"},
#ifdef _WIN32
        {folder, "ファイル「" + folder + "」を読めません（", false},
#else
        {folder, "ファイル「" + folder + "」を読めません（" + std::strerror(EISDIR) + "）。"},
        {folder + "/loop.ini", "ファイル「" + folder + "/loop.ini」を読めません（" + std::strerror(ELOOP) + "）。"},
        {folder + "/" + std::string(300, 'n'),
         "ファイル「" + folder + "/" + std::string(300, 'n') + "」を読めません（" + std::strerror(ENAMETOOLONG) + "）。"},
#endif
    };
#ifndef _WIN32
    fs::create_symlink("loop.ini", m_folder.path() / "loop.ini");
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        const CommandRun run = runWith({c.path});
        EXPECT_EQ(run.status, kExitLoadFailed);
        EXPECT_EQ(run.out, "");
        const std::string expected = std::string(SettingsFile::kFailureMessage) + "\n" + c.cause;
        if (c.whole)
            EXPECT_EQ(run.err, expected + "\n");
        else
            EXPECT_TRUE(run.err.starts_with(expected) && run.err.ends_with("）。\n")) << run.err;
    }
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

// Arguments that are answered before any file is read: help, version, and usage errors that say what
// was wrong and where to look, on standard error alone.
TEST_F(CommandLine, HelpVersionAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // the whole output, or with "usage" its first word
        std::string err;
    };
    const std::string tryHelp = "Try 'velmora-search --help'\n";
    const Case cases[] = {
        {{"--help"}, kExitOk, "usage", ""},
        {{"--version"}, kExitOk, "velmora-search " VELMORA_VERSION "\n", ""},
        {{"--frobnicate"}, kExitUsage, "", "velmora-search: unrecognized option '--frobnicate'\n" + tryHelp},
        {{"-x", "a.ini"}, kExitUsage, "", "velmora-search: unrecognized option '-x'\n" + tryHelp},
        {{"a.ini", "b.ini"}, kExitUsage, "", "velmora-search: only one FILE may be given\n" + tryHelp},
        {{"--count", "--csv"}, kExitUsage, "", "velmora-search: --count and --csv cannot be given together\n" + tryHelp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const CommandRun run = runWith(c.args);
        EXPECT_EQ(run.status, c.status);
        if (c.out == "usage")
            EXPECT_TRUE(run.out.starts_with("usage: velmora-search")) << run.out;
        else
            EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

// Awkward headings keep one record per line: escaped in the tab-separated header, quoted in CSV, where
// they must come back intact. CSV rows end in CR LF and the output starts with the byte-order mark.
TEST_F(CommandLine, AwkwardHeadingsInTheHeaderAndInCsv) {
    struct Case {
        std::string heading; // as the file holds it (code page 932)
        std::string tabbed;  // in the --header line
        std::string csv;     // as a CSV field
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"", "", ""},
        {"a,b", "a,b", "\"a,b\""},
        {"say \"hi\"", "say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"", "\"\"\"\""},
        {"tab\there", "tab\\there", "tab\there"},
        {"two\nlines", "two\\nlines", "\"two\nlines\""},
        {"C:\\path\\", "C:\\\\path\\\\", "C:\\path\\"},
        {"  spaced  ", "  spaced  ", "  spaced  "},
        {"\x82\xE8\x82\xF1\x82\xB2,\x81\x41", "りんご,、", "\"りんご,、\""},
    };
    for (std::size_t first = 0; first < std::size(cases); first += 8) {
        std::vector<std::string> lines = {"0"};
        std::string tabbed = "合計";
        std::string csv = "\xEF\xBB\xBF合計";
        for (std::size_t i = first; i < first + 8; ++i) {
            const Case& c = cases[i % std::size(cases)];
            lines.push_back(c.heading);
            tabbed += "\t" + c.tabbed;
            csv += "," + c.csv;
        }
        for (int k = 0; k < 8 + 16; ++k)
            lines.push_back("0");
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        const fs::path file = m_folder.path() / "awkward.ini";
        testing_support::writeFile(file, bytes);

        const CommandRun header = runWith({"--header", file.string()});
        EXPECT_EQ(header.status, kExitOk);
        EXPECT_EQ(header.out, tabbed + "\n0\t0\t0\t0\t0\t0\t0\t0\t0\n");
        const CommandRun comma = runWith({"--csv", file.string()});
        EXPECT_EQ(comma.status, kExitOk);
        EXPECT_EQ(comma.out, csv + "\r\n0,0,0,0,0,0,0,0,0\r\n");
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
