// The loader on a Japanese desktop: headings in code page 932 and folders with Japanese names. The
// same cases run on Linux and, cross-built, under wine with code page 932.
#include "setup/settings_file.h"

#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using testing_support::CurrentDirectory;
using testing_support::pathFromUtf8;
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

} // namespace
} // namespace velmora
