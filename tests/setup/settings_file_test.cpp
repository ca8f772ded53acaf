#include "setup/settings_file.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The 33 lines of a valid file; tests change single lines.
std::vector<std::string> validLines() {
    std::vector<std::string> lines = {"1500", "a", "b", "c", "d", "e", "f", "g", "h"};
    for (int k = 1; k <= 8; ++k)
        lines.push_back(std::to_string(100 * k));
    for (int k = 1; k <= 8; ++k) {
        lines.push_back(std::to_string(-k));
        lines.push_back(std::to_string(k));
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines, const std::string& end = "\r\n", bool endLast = true) {
    std::string bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bytes += lines[i];
        if (endLast || i + 1 < lines.size())
            bytes += end;
    }
    return bytes;
}

struct Loaded {
    LoadResult result;
    SearchSetup setup;
    std::vector<std::pair<int, std::string>> headings; // what reached the sink, in order
};

Loaded loadBytes(const std::string& bytes) {
    Loaded loaded;
    loaded.result = SettingsFile::loadFromBytes(bytes, loaded.setup, [&](int term, const std::string& heading) {
        loaded.headings.emplace_back(term, heading);
        return true;
    });
    return loaded;
}

void expectUntouched(const Loaded& loaded) {
    EXPECT_EQ(loaded.setup.target, 0);
    for (const TermSpec& term : loaded.setup.terms) {
        EXPECT_EQ(term.weight, 0);
        EXPECT_EQ(term.first, 0);
        EXPECT_EQ(term.last, 0);
        EXPECT_EQ(term.heading, "");
    }
    EXPECT_TRUE(loaded.headings.empty());
}

TEST(SearchSetup, StartsAllZero) {
    const SearchSetup setup;
    EXPECT_EQ(setup.target, 0);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(setup.term(k).weight, 0);
        EXPECT_EQ(setup.term(k).first, 0);
        EXPECT_EQ(setup.term(k).last, 0);
        EXPECT_TRUE(setup.term(k).heading.empty());
    }
}

TEST(SettingsFile, LoadsEveryFieldFromItsLine) {
    const Loaded loaded = loadBytes(join(validLines()));
    ASSERT_TRUE(loaded.result.ok()) << loaded.result.cause();
    EXPECT_TRUE(loaded.result.cause().empty());
    EXPECT_EQ(loaded.setup.target, 1500);
    const std::string names = "abcdefgh";
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(loaded.setup.term(k).heading, std::string(1, names[static_cast<std::size_t>(k - 1)]));
        EXPECT_EQ(loaded.setup.term(k).weight, 100 * k);
        EXPECT_EQ(loaded.setup.term(k).first, -k);
        EXPECT_EQ(loaded.setup.term(k).last, k);
    }
    ASSERT_EQ(loaded.headings.size(), 8u);
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(loaded.headings[static_cast<std::size_t>(k - 1)].first, k);
}

TEST(SettingsFile, AcceptsLastLineWithoutLineEnd) {
    const Loaded loaded = loadBytes(join(validLines(), "\r\n", false));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(8).last, 8);
}

TEST(SettingsFile, AcceptsBareCarriageReturns) {
    const Loaded loaded = loadBytes(join(validLines(), "\r"));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(8).last, 8);
}

TEST(SettingsFile, NeverReadsPastLineThirtyThree) {
    std::vector<std::string> lines = validLines();
    for (int i = 34; i <= 40; ++i)
        lines.push_back("garbage \xFF\x81");
    const Loaded loaded = loadBytes(join(lines));
    EXPECT_TRUE(loaded.result.ok());
}

TEST(SettingsFile, LoneLineFeedStaysInTheLine) {
    std::vector<std::string> lines = validLines();
    lines[1] = "two\nparts";
    const Loaded loaded = loadBytes(join(lines));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(1).heading, "two\nparts");
}

TEST(SettingsFile, TwoLineEndsInARowMakeAnEmptyLine) {
    // An empty heading line counts like any other and gives an empty heading.
    std::vector<std::string> lines = validLines();
    lines[2] = "";
    const Loaded loaded = loadBytes(join(lines));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(2).heading, "");
    EXPECT_EQ(loaded.headings[1], std::make_pair(2, std::string()));
}

TEST(SettingsFile, TooShortFilesLoadNothing) {
    std::vector<std::string> lines = validLines();
    lines.pop_back();
    const std::pair<std::string, int> cases[] = {
        {join(lines), 32},               // 32 lines with a line end after the last
        {join(lines, "\r\n", false), 32}, // and without
        {"", 0},                          // empty file
        {"\r\n", 1},                      // one empty line
        {"1500", 1},
    };
    for (const auto& [bytes, found] : cases) {
        SCOPED_TRACE(found);
        const Loaded loaded = loadBytes(bytes);
        EXPECT_EQ(loaded.result.failure, LoadFailure::TooFewLines);
        EXPECT_EQ(loaded.result.linesFound, found);
        EXPECT_NE(loaded.result.cause().find(std::to_string(found)), std::string::npos) << loaded.result.cause();
        expectUntouched(loaded);
    }
}

TEST(SettingsFile, ConvertsNumberLines) {
    std::vector<std::string> lines = validLines();
    lines[0] = "  42 ";
    lines[17] = "2.5";
    lines[18] = "3.5";
    lines[19] = "-2.5";
    lines[20] = "32767";
    lines[21] = "-32768.5";
    lines[9] = "2147483647";
    lines[10] = "\x82\x50\x82\x51"; // full-width 12 in code page 932
    const Loaded loaded = loadBytes(join(lines));
    ASSERT_TRUE(loaded.result.ok()) << loaded.result.cause();
    EXPECT_EQ(loaded.setup.target, 42);
    EXPECT_EQ(loaded.setup.term(1).first, 2);
    EXPECT_EQ(loaded.setup.term(1).last, 4);
    EXPECT_EQ(loaded.setup.term(2).first, -2);
    EXPECT_EQ(loaded.setup.term(2).last, 32767);
    EXPECT_EQ(loaded.setup.term(3).first, -32768);
    EXPECT_EQ(loaded.setup.term(1).weight, 2147483647);
    EXPECT_EQ(loaded.setup.term(2).weight, 12);
}

TEST(SettingsFile, KeepsRangesAndSignsAsWritten) {
    std::vector<std::string> lines = validLines();
    lines[17] = "5";
    lines[18] = "1"; // first above last: kept, not swapped
    lines[9] = "0";
    lines[10] = "-3";
    lines[0] = "-7";
    const Loaded loaded = loadBytes(join(lines));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(1).first, 5);
    EXPECT_EQ(loaded.setup.term(1).last, 1);
    EXPECT_EQ(loaded.setup.term(1).weight, 0);
    EXPECT_EQ(loaded.setup.term(2).weight, -3);
    EXPECT_EQ(loaded.setup.target, -7);
}

TEST(SettingsFile, HeadingsAreTakenWholeAndDecoded) {
    std::vector<std::string> lines = validLines();
    lines[1] = "  \x82\xE8\x82\xF1\x82\xB2  "; // "  りんご  "
    lines[2] = "C:\\path";                     // 0x5C stays a backslash
    lines[3] = "ok\x85\x40" "end";             // an unassigned pair becomes one replacement character
    lines[4] = std::string(100000, 'x');       // far below the line limit
    const Loaded loaded = loadBytes(join(lines));
    ASSERT_TRUE(loaded.result.ok());
    EXPECT_EQ(loaded.setup.term(1).heading, "  りんご  ");
    EXPECT_EQ(loaded.setup.term(2).heading, "C:\\path");
    EXPECT_EQ(loaded.setup.term(3).heading, "ok\uFFFDend");
    EXPECT_EQ(loaded.setup.term(4).heading.size(), 100000u);
}

// The line limit at its edges: a line of exactly kMaxLineBytes loads; one byte more (a lone LF counts)
// fails at that line while reading, so nothing is assigned; a line after line 33 is never read.
TEST(SettingsFile, LineLimitAtItsEdges) {
    const std::size_t max = SettingsFile::kMaxLineBytes;
    struct Case {
        int line;
        std::string text;
        bool fails;
    };
    const Case cases[] = {
        {2, std::string(max, 'x'), false},
        {2, std::string(max + 1, 'x'), true},
        {2, std::string(max - 1, 'x') + "\n", false},
        {2, std::string(max, 'x') + "\n", true},
        {1, std::string(max + 1, '1'), true},
        {33, std::string(max - 1, ' ') + "8", false},
        {33, std::string(max, ' ') + "8", true},
        {34, std::string(max + 1, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " of " + std::to_string(c.text.size()) + " bytes");
        std::vector<std::string> lines = validLines();
        lines.resize(34);
        lines[static_cast<std::size_t>(c.line - 1)] = c.text;
        const Loaded loaded = loadBytes(join(lines));
        if (!c.fails) {
            EXPECT_TRUE(loaded.result.ok()) << loaded.result.cause();
            continue;
        }
        EXPECT_EQ(loaded.result.failure, LoadFailure::LineTooLong);
        EXPECT_EQ(loaded.result.line, c.line);
        EXPECT_EQ(loaded.result.cause(), std::to_string(c.line) + " 行目：行が長すぎます（1 行 16777216 バイトまで）。");
        expectUntouched(loaded);
    }
}

// Which fields a failure at each number line leaves in force: everything assigned before the failing
// line, in file order, and nothing after it.
TEST(SettingsFile, FailureLeavesEveryFieldBeforeTheFailingLine) {
    const Loaded complete = loadBytes(join(validLines()));
    ASSERT_TRUE(complete.result.ok());

    std::vector<int> numberLines = {1};
    for (int line = 10; line <= 33; ++line)
        numberLines.push_back(line);
    for (const std::string bad : {"", "abc", "99999999999"}) {
        for (int failing : numberLines) {
            SCOPED_TRACE("line " + std::to_string(failing) + " = [" + bad + "]");
            std::vector<std::string> lines = validLines();
            lines[static_cast<std::size_t>(failing - 1)] = bad;
            const Loaded loaded = loadBytes(join(lines));
            EXPECT_EQ(loaded.result.failure, bad == "99999999999" ? LoadFailure::OutOfRange : LoadFailure::NotANumber);
            EXPECT_EQ(loaded.result.line, failing);
            EXPECT_NE(loaded.result.cause().find(std::to_string(failing) + " 行目"), std::string::npos);

            const auto inForce = [&](int line) { return line < failing; };
            EXPECT_EQ(loaded.setup.target, inForce(1) ? complete.setup.target : 0);
            EXPECT_EQ(loaded.headings.size(), inForce(9) ? 8u : 0u);
            for (int k = 1; k <= 8; ++k) {
                const TermSpec& term = loaded.setup.term(k);
                const TermSpec& full = complete.setup.term(k);
                EXPECT_EQ(term.heading, inForce(k + 1) ? full.heading : "");
                EXPECT_EQ(term.weight, inForce(k + 9) ? full.weight : 0);
                EXPECT_EQ(term.first, inForce(2 * k + 16) ? full.first : 0);
                EXPECT_EQ(term.last, inForce(2 * k + 17) ? full.last : 0);
            }
        }
    }
}

TEST(SettingsFile, RejectedHeadingStopsTheLoad) {
    SearchSetup setup;
    std::vector<int> shown;
    const LoadResult result = SettingsFile::loadFromBytes(join(validLines()), setup, [&](int term, const std::string&) {
        shown.push_back(term);
        return term != 3;
    });
    EXPECT_EQ(result.failure, LoadFailure::HeadingRejected);
    EXPECT_EQ(result.line, 4);
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(setup.target, 1500);
    EXPECT_EQ(setup.term(3).heading, "c"); // assigned before it was handed on
    EXPECT_EQ(setup.term(4).heading, "");
    EXPECT_EQ(setup.term(1).weight, 0);
}

// Tests that need a real file in a folder of their own, made the current directory while they run.
class SettingsFileOnDisk : public ::testing::Test {
protected:
    static void write(const fs::path& path, const std::string& bytes) { testing_support::writeFile(path, bytes); }

    testing_support::TempFolder m_folder{"velmora-settings"};
    testing_support::CurrentDirectory m_current{m_folder.path()};
};

TEST_F(SettingsFileOnDisk, ReadsTheBareNameInTheCurrentDirectory) {
    write("text-2x.ini", join(validLines()));
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup);
    ASSERT_TRUE(result.ok()) << result.cause();
    EXPECT_EQ(setup.target, 1500);
}

TEST_F(SettingsFileOnDisk, MissingFileLoadsNothing) {
    // The file exists, but in another folder than the current one.
    fs::create_directories("elsewhere");
    write("elsewhere/text-2x.ini", join(validLines()));
    SearchSetup setup;
    int headings = 0;
    const LoadResult result = SettingsFile::load(setup, [&](int, const std::string&) { return ++headings, true; });
    EXPECT_EQ(result.failure, LoadFailure::FileNotFound);
    EXPECT_FALSE(result.cause().empty());
    EXPECT_EQ(setup.target, 0);
    EXPECT_EQ(headings, 0);
}

TEST_F(SettingsFileOnDisk, FolderInPlaceOfTheFileIsAFailure) {
    fs::create_directories("text-2x.ini");
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup);
    EXPECT_EQ(result.failure, LoadFailure::Unreadable);
    // The system's own words, shown beneath the fixed message; no path for the bare name.
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(result.cause(), "ファイルを読めません（" + result.reason + "）。");
}

TEST_F(SettingsFileOnDisk, LargeFileWithoutLineEndsIsReadAsOneLine) {
    // 8 MiB without a CR: one line, so too few lines; nothing hangs and nothing is assigned.
    write("text-2x.ini", std::string(8u << 20, '7'));
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup);
    EXPECT_EQ(result.failure, LoadFailure::TooFewLines);
    EXPECT_EQ(result.linesFound, 1);
    EXPECT_EQ(setup.target, 0);
}

TEST_F(SettingsFileOnDisk, LongTailAfterLineThirtyThreeIsNotRead) {
    write("text-2x.ini", join(validLines()) + std::string(8u << 20, '\xFF'));
    SearchSetup setup;
    EXPECT_TRUE(SettingsFile::load(setup).ok());
}

TEST_F(SettingsFileOnDisk, ExplicitPathIsUsedAsGiven) {
    fs::create_directories("sub");
    write("sub/other.ini", join(validLines()));
    SearchSetup setup;
    EXPECT_TRUE(SettingsFile::load(setup, {}, fs::path("sub") / "other.ini").ok());
}

TEST(SettingsFileExample, BundledExampleLoads) {
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup, {}, fs::path(VELMORA_SOURCE_DIR) / "examples" / "text-2x.ini");
    ASSERT_TRUE(result.ok()) << result.cause();
    EXPECT_EQ(setup.term(1).heading, "りんご");
    EXPECT_EQ(setup.target, 1500);
}

} // namespace
} // namespace velmora
