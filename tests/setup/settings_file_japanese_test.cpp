// The loader on a Japanese desktop: headings in code page 932 and folders with Japanese names. The
// same cases run on Linux and, cross-built, under wine with code page 932.
#include "setup/settings_file.h"

#include "setup/ansi_decode.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using testing_support::CurrentDirectory;
using testing_support::pathFromUtf8;
using testing_support::readFile;
using testing_support::settingsBytes;
using testing_support::TempFolder;
using testing_support::writeFile;

// Headings whose bytes trip a naive reader: 5C as a trail byte (表, ソ), the characters where code page
// 932 differs from Shift_JIS (～, ①), half-width katakana and an ASCII backslash.
constexpr std::string_view kJapaneseHeadings[8] = {
    "\x95\x5C\x8E\xA6",                     // 表示
    "\x83\x5C\x83\x74\x83\x67",             // ソフト
    "\x8D\x80\x96\xDA\x87\x40",             // 項目①
    "1\x81\x60" "5",                        // 1～5
    "\xB1\xB2\xB3",                         // ｱｲｳ (half-width)
    "C:\\\x83\x66\x81\x5B\x83\x5E",         // C:\データ
    " \x8F\x64\x82\xB3 ",                   // " 重さ " (spaces kept)
    "",                                     // empty heading
};
constexpr std::string_view kJapaneseHeadingsUtf8[8] = {
    "表示", "ソフト", "項目①", "1～5", "ｱｲｳ", "C:\\データ", " 重さ ", "",
};

TEST(SettingsFileJapanese, DecodesHeadingsThroughTheAnsiCodePage) {
    TempFolder folder("velmora-見出し");
    const std::filesystem::path file = folder.path() / pathFromUtf8("設定.ini");
    writeFile(file, settingsBytes("10", kJapaneseHeadings));

    SearchSetup setup;
    std::vector<std::pair<int, std::string>> handed;
    const LoadResult result = SettingsFile::load(
        setup,
        [&](int term, const std::string& heading) {
            handed.emplace_back(term, heading);
            return true;
        },
        file);

    ASSERT_TRUE(result.ok()) << result.cause();
    EXPECT_EQ(result.reading.encoding, TextEncoding::Ansi);
    ASSERT_EQ(handed.size(), 8u);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(setup.term(k).heading, kJapaneseHeadingsUtf8[k - 1]) << "term " << k;
        EXPECT_EQ(handed[static_cast<std::size_t>(k - 1)], std::make_pair(k, std::string(kJapaneseHeadingsUtf8[k - 1])));
    }
    EXPECT_EQ(setup.target, 10);
    EXPECT_EQ(setup.term(8).weight, 8);
    EXPECT_EQ(setup.term(8).last, 1);
}

TEST(SettingsFileJapanese, UndecodableHeadingBytesBecomeReplacementsAndTheLoadGoesOn) {
    constexpr std::string_view headings[8] = {
        "\x82\xA0\x85\x40\x82\xA2", // あ, an unassigned pair, い
        "\x81\x20\x8D\x80",         // a lead byte before a space, then 項
        "\xFD\x80\xA0",             // three bytes that are no character
        "\x96\xBC\x91\x4F\x82",     // 名前 and a lone lead byte at the end of the line
        "a", "b", "c", "d",
    };
    TempFolder folder("velmora-不正");
    const std::filesystem::path file = folder.path() / "text-2x.ini";
    writeFile(file, settingsBytes("3", headings));

    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup, {}, file);

    ASSERT_TRUE(result.ok()) << result.cause();
    EXPECT_EQ(setup.term(1).heading, "あ\uFFFDい");
    EXPECT_EQ(setup.term(2).heading, "\uFFFD 項");
    EXPECT_EQ(setup.term(3).heading, "\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(setup.term(4).heading, "名前\uFFFD");
    // The lone lead byte ends its own line only: the line end after it is not swallowed.
    EXPECT_EQ(setup.term(5).heading, "a");
    EXPECT_EQ(setup.target, 3);
    EXPECT_EQ(setup.term(1).weight, 1);
}

TEST(SettingsFileJapanese, FindsTheBareNameInAJapaneseCurrentDirectory) {
    TempFolder folder("velmora-作業フォルダ");
    writeFile(folder.path() / "text-2x.ini", settingsBytes("10", kJapaneseHeadings));

    CurrentDirectory inFolder(folder.path());
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup);

    ASSERT_TRUE(result.ok()) << result.cause();
    EXPECT_EQ(setup.target, 10);
    EXPECT_EQ(setup.term(3).heading, "項目①");
}

TEST(SettingsFileJapanese, BareNameIsNotLookedUpOutsideTheCurrentDirectory) {
    TempFolder folder("velmora-親フォルダ");
    const std::filesystem::path withFile = folder.path() / pathFromUtf8("設定あり");
    const std::filesystem::path withoutFile = folder.path() / pathFromUtf8("設定なし");
    std::filesystem::create_directories(withFile);
    std::filesystem::create_directories(withoutFile);
    writeFile(withFile / "text-2x.ini", settingsBytes("10", kJapaneseHeadings));

    CurrentDirectory inFolder(withoutFile);
    SearchSetup setup;
    const LoadResult result = SettingsFile::load(setup);

    EXPECT_EQ(result.failure, LoadFailure::FileNotFound);
    EXPECT_EQ(setup.target, 0);
    EXPECT_EQ(setup.term(1).heading, "");
}

// The example's 33 lines as raw bytes in code page 932, and as UTF-8.
struct ExampleLines {
    std::vector<std::string> cp932;
    std::vector<std::string> utf8;

    ExampleLines() {
        const std::string bytes = readFile(std::filesystem::path(VELMORA_SOURCE_DIR) / "examples" / "text-2x.ini");
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t end = bytes.find("\r\n", at);
            cp932.push_back(bytes.substr(at, end - at));
            utf8.push_back(decodeAnsiLine(cp932.back()));
            at = end == std::string::npos ? bytes.size() : end + 2;
        }
    }
};

std::string joinLines(const std::vector<std::string>& lines, std::string_view end, std::string_view start = {}) {
    std::string bytes(start);
    for (const std::string& line : lines)
        bytes += line + std::string(end);
    return bytes;
}

std::vector<std::string> replaced(std::vector<std::string> lines, std::size_t index, std::string text) {
    lines[index] = std::move(text);
    return lines;
}

std::vector<std::string> withAsciiHeadings(std::vector<std::string> lines, std::string firstHeading) {
    for (std::size_t i = 1; i <= 8; ++i)
        lines[i] = std::string(1, static_cast<char>('a' + i - 1));
    lines[1] = std::move(firstHeading);
    return lines;
}

// The example's text saved every way today's editors save it, through the real loader from a file. The
// headings must come out as written, or the load fail with the cause shown.
TEST(SettingsFileJapanese, ReadsTheExampleAsEditorsSaveIt) {
    const ExampleLines example;
    ASSERT_EQ(example.cp932.size(), 33u);
    ASSERT_EQ(example.utf8[1], "りんご");
    const std::string bom = "\xEF\xBB\xBF";
    const std::string noteLf = "（改行が LF だけのファイルとして読みました）";
    std::vector<std::string> crInLineFive = example.cp932;
    crInLineFive[4] += "\r";
    std::vector<std::string> shortUtf8 = example.utf8;
    shortUtf8.pop_back();

    struct Case {
        const char* name;
        std::string bytes;
        LineEnds lineEnds;
        TextEncoding encoding;
        std::string heading1; // as loaded, when the load succeeds
        std::string cause;    // empty when the load succeeds
    };
    const Case cases[] = {
        {"code page 932, CR LF: the example as it is",
         readFile(std::filesystem::path(VELMORA_SOURCE_DIR) / "examples" / "text-2x.ini"), LineEnds::Cr,
         TextEncoding::Ansi, "りんご", ""},
        {"UTF-8 with the byte-order mark, CR LF", joinLines(example.utf8, "\r\n", bom), LineEnds::Cr,
         TextEncoding::Utf8WithMark, "りんご", ""},
        {"UTF-8 without the mark, CR LF", joinLines(example.utf8, "\r\n"), LineEnds::Cr, TextEncoding::Utf8, "りんご",
         ""},
        {"UTF-8 with the mark, LF", joinLines(example.utf8, "\n", bom), LineEnds::Lf, TextEncoding::Utf8WithMark,
         "りんご", ""},
        {"UTF-8 without the mark, LF", joinLines(example.utf8, "\n"), LineEnds::Lf, TextEncoding::Utf8, "りんご", ""},
        {"code page 932, LF", joinLines(example.cp932, "\n"), LineEnds::Lf, TextEncoding::Ansi, "りんご", ""},
        {"code page 932, CR", joinLines(example.cp932, "\r"), LineEnds::Cr, TextEncoding::Ansi, "りんご", ""},
        {"code page 932, CR LF, an LF inside heading 1",
         joinLines(replaced(example.cp932, 1, "\x82\xE8\x82\xF1\n\x82\xB2"), "\r\n"), LineEnds::Cr, TextEncoding::Ansi,
         "りん\nご", ""},
        {"code page 932, LF, notes after line 33 in CR LF: never read",
         joinLines(example.cp932, "\n") + "memo\r\nmemo\r\n", LineEnds::Lf, TextEncoding::Ansi, "りんご", ""},
        {"code page 932 ﾃｽ, valid UTF-8 (ý), the rest ASCII",
         joinLines(withAsciiHeadings(example.cp932, "\xC3\xBD"), "\r\n"), LineEnds::Cr, TextEncoding::Ansi, "ﾃｽ", ""},
        {"code page 932 縺ァ, valid UTF-8 (ぃ@) with one Japanese character",
         joinLines(withAsciiHeadings(example.cp932, "\xE3\x81\x83\x40"), "\r\n"), LineEnds::Cr, TextEncoding::Ansi,
         "縺ァ", ""},
        {"UTF-8 with two Japanese characters, the rest ASCII",
         joinLines(withAsciiHeadings(example.utf8, "りん"), "\r\n"), LineEnds::Cr, TextEncoding::Utf8, "りん", ""},
        {"UTF-8, LF, 32 lines", joinLines(shortUtf8, "\n"), LineEnds::Lf, TextEncoding::Utf8, "",
         "33 行が必要ですが、32 行しかありません" + noteLf + "。"},
        {"code page 932, LF but a CR after line 5", joinLines(crInLineFive, "\n"), LineEnds::Cr, TextEncoding::Ansi, "",
         "33 行が必要ですが、2 行しかありません（CR の改行があるファイルなので、LF "
         "だけの改行では行を区切っていません）。"},
        {"UTF-8 with the mark, line 10 not a number", joinLines(replaced(example.utf8, 9, "九十八"), "\r\n", bom),
         LineEnds::Cr, TextEncoding::Utf8WithMark, "りんご", "10 行目（項目 1 の乗数）：数値ではありません。"},
    };
    TempFolder folder("velmora-保存形式");
    const std::filesystem::path file = folder.path() / "text-2x.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(file, c.bytes);
        SearchSetup setup;
        std::vector<std::string> handed;
        const LoadResult result = SettingsFile::load(
            setup, [&](int, const std::string& heading) { return handed.push_back(heading), true; }, file);
        EXPECT_EQ(result.cause(), c.cause);
        EXPECT_EQ(result.reading.lineEnds, c.lineEnds);
        EXPECT_EQ(result.reading.encoding, c.encoding);
        if (!c.cause.empty() && result.failure == LoadFailure::TooFewLines) {
            EXPECT_TRUE(handed.empty());
            EXPECT_EQ(setup.target, 0);
            continue;
        }
        EXPECT_EQ(setup.target, 1500);
        ASSERT_EQ(handed.size(), 8u);
        EXPECT_EQ(handed[0], c.heading1);
        EXPECT_EQ(setup.term(1).heading, c.heading1);
        if (c.cause.empty()) {
            EXPECT_EQ(setup.term(8).heading, handed[7]);
            EXPECT_EQ(setup.term(8).weight, 498);
            EXPECT_EQ(setup.term(8).last, 5);
        }
    }
}

} // namespace
} // namespace velmora
