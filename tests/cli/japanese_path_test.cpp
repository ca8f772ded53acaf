// The command line with Japanese paths: a FILE argument (UTF-8, as main hands it on from the wide
// command line on Windows) and the default file in a current directory with a Japanese name.
#include "cli/command_line.h"

#include "tests/cli/command_run.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing_support::CommandRun;
using testing_support::CurrentDirectory;
using testing_support::pathFromUtf8;
using testing_support::runCommand;
using testing_support::settingsBytes;
using testing_support::TempFolder;
using testing_support::utf8FromPath;
using testing_support::writeFile;

constexpr std::string_view kHeadings[8] = {
    "\x96\xBC\x91\x4F", // 名前
    "\x95\x5C\x8E\xA6", // 表示
    "\x87\x40",         // ①
    "\x81\x60",         // ～
    "e", "f", "g", "h",
};

constexpr std::string_view kHeaderLine = "合計\t名前\t表示\t①\t～\te\tf\tg\th\n";

TEST(CommandLineJapanesePath, ReadsAFileArgumentWithAJapaneseName) {
    TempFolder folder("velmora-日本語");
    // The Hangul syllable has no place in code page 932: only a path built from the UTF-8 argument,
    // never one that went through the ANSI code page, reaches this file.
    const std::filesystem::path file = folder.path() / pathFromUtf8("設定①～한.ini");
    writeFile(file, settingsBytes("10", kHeadings));

    const CommandRun run = runCommand({"--header", utf8FromPath(file)});

    EXPECT_EQ(run.status, kExitOk) << run.err;
    ASSERT_TRUE(run.out.starts_with(kHeaderLine)) << run.out;
    // The header, then one row for each of the eight subsets of the weights 1..8 that sum to 10.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 8);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_NE(run.out.find("\n10\t0\t1\t0\t0\t0\t0\t0\t1\n"), std::string::npos) << run.out; // 2 + 8
    EXPECT_NE(run.out.find("\n10\t1\t1\t1\t1\t0\t0\t0\t0\n"), std::string::npos) << run.out; // 1 + 2 + 3 + 4
}

TEST(CommandLineJapanesePath, FindsTheDefaultFileInAJapaneseCurrentDirectory) {
    TempFolder folder("velmora-カレント");
    writeFile(folder.path() / "text-2x.ini", settingsBytes("10", kHeadings));

    CurrentDirectory inFolder(folder.path());
    const CommandRun run = runCommand({"--count"});

    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "8\n");
}

TEST(CommandLineJapanesePath, MissingJapaneseFileFailsWithTheFixedMessage) {
    TempFolder folder("velmora-不在");

    const CommandRun run = runCommand({utf8FromPath(folder.path() / pathFromUtf8("ありません.ini"))});

    EXPECT_EQ(run.status, kExitLoadFailed);
    EXPECT_TRUE(run.err.starts_with("text-2x.iniが見当たりません\n")) << run.err;
    EXPECT_EQ(run.out, "");
}

} // namespace
} // namespace velmora
