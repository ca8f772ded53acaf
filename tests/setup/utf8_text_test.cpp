#include "setup/utf8_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

// The rule and the decoder at the edges of UTF-8 and of the character ranges the rule admits.
TEST(Utf8Text, EvidenceAndDecodingAtTheEdges) {
    constexpr bool no = false;
    struct Case {
        const char* name;
        std::string_view bytes;
        bool possible;
        std::size_t japanese;
        std::string_view decoded; // utf8::decodeLine
    };
    const Case cases[] = {
        {"empty", "", true, 0, ""},
        {"ASCII", "1500 abc", true, 0, "1500 abc"},
        {"kana and kanji", "りんご林檎", true, 5, "りんご林檎"},
        {"ideographic space U+3000, first of the range", "\u3000", true, 1, "\u3000"},
        {"full-width digits", "１２", true, 2, "１２"},
        {"half-width katakana U+FF9F, last of its range", "\uFF9F", true, 1, "\uFF9F"},
        {"U+FFA0 just past it is no Japanese", "\uFFA0", no, 0, "\uFFA0"},
        {"symbols alone prove nothing", "①→×°", true, 0, "①→×°"},
        {"symbols beside kana", "重さ(kg)×2 ①", true, 2, "重さ(kg)×2 ①"},
        {"Greek and Cyrillic beside kana", "αΩ ЖЁ の", true, 1, "αΩ ЖЁ の"},
        {"a pictograph beside kana", "\U0001F34Eりんご", true, 3, "\U0001F34Eりんご"},
        {"a Latin letter outside JIS (é) beside kana", "caféの", no, 0, "caféの"},
        {"ý, which is the half-width katakana ﾃｽ", "\xC3\xBD", no, 0, "ý"},
        {"Hangul is no Japanese", "한", no, 0, "한"},
        {"overlong form of '/'", "\xC0\xAF", no, 0, "\uFFFD\uFFFD"},
        {"overlong three-byte form", "\xE0\x80\xAF", no, 0, "\uFFFD\uFFFD\uFFFD"},
        {"surrogate U+D800", "\xED\xA0\x80", no, 0, "\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", no, 0, "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"kana cut short, then ASCII",
         "\xE3\x81"
         "a",
         no, 0, "\uFFFDa"},
        {"kana cut short at the end", "あ\xE3", no, 1, "あ\uFFFD"},
        {"a lone continuation byte",
         "a\x80"
         "b",
         no, 0, "a\uFFFDb"},
        // 82, then E8 82 cut short by F1, then F1 82 B2 cut short by the end: three ill-formed parts.
        {"code page 932 りんご", "\x82\xE8\x82\xF1\x82\xB2", no, 0, "\uFFFD\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const utf8::Evidence e = utf8::evidence(c.bytes);
        EXPECT_EQ(e.possible, c.possible);
        EXPECT_EQ(e.japanese, c.japanese);
        EXPECT_EQ(utf8::decodeLine(c.bytes), c.decoded);
    }
}

// Characters of code page 932 by their JIS row and cell, and the half-width katakana A1..DF.
std::string jisCharacter(int row, int cell) {
    const int lead = (row - 1) / 2 + (row <= 62 ? 0x81 : 0xC1);
    const int trail = row % 2 == 1 ? cell + (cell <= 63 ? 0x3F : 0x40) : cell + 0x9E;
    return {static_cast<char>(lead), static_cast<char>(trail)};
}

std::vector<std::string> jisRows(int firstRow, int lastRow, int cellsInLastRow) {
    std::vector<std::string> characters;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int cell = 1; cell <= (row == lastRow ? cellsInLastRow : 94); ++cell)
            characters.push_back(jisCharacter(row, cell));
    return characters;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Classes {
    std::vector<std::string> kana = joined(jisRows(4, 4, 83), jisRows(5, 5, 86)); // ぁ .. ん, ァ .. ヶ
    std::vector<std::string> levelOne = jisRows(16, 47, 51);                      // 亜 .. 腕
    std::vector<std::string> levelTwo = jisRows(48, 84, 6);                       // 弌 .. 熙
    std::vector<std::string> halfWidth;                                           // ｡ .. ﾟ
    Classes() {
        for (int b = 0xA1; b <= 0xDF; ++b)
            halfWidth.push_back(std::string(1, static_cast<char>(b)));
    }
    // Every character but the level-2 kanji.
    std::vector<std::string> common() const { return joined(joined(kana, halfWidth), levelOne); }
};

struct Count {
    long long all = 0;
    long long valid = 0;       // valid UTF-8 (validity alone would take it)
    long long oneJapanese = 0; // possible, with one Japanese character or more
    long long read = 0;        // read as UTF-8 by the rule
};

void countText(const std::string& text, Count& count) {
    ++count.all;
    const utf8::Evidence e = utf8::evidence(text);
    count.valid += utf8::decodeLine(text) == text;
    count.oneJapanese += e.possible && e.japanese >= 1;
    count.read += e.possible && e.japanese >= utf8::kJapaneseCharactersNeeded;
}

Count countPairs(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    Count count;
    for (const std::string& x : a)
        for (const std::string& y : b)
            countText(x + y, count);
    return count;
}

// No text of two characters from the kana, the half-width katakana and the level-1 kanji of code page 932,
// nor of three half-width katakana, is Japanese UTF-8 by the rule, not even with one Japanese character:
// the rule would never take such a file for UTF-8.
TEST(Utf8Text, NoPairOfKanaHalfWidthKatakanaOrLevelOneKanjiIsReadAsUtf8) {
    const Classes classes;
    const std::vector<std::string> common = classes.common();
    const Count pairs = countPairs(common, common);
    EXPECT_EQ(pairs.all, static_cast<long long>(common.size() * common.size()));
    EXPECT_EQ(pairs.oneJapanese, 0);
    EXPECT_GT(pairs.valid, 0); // ﾃｽ is valid UTF-8 (ý): validity alone would not do

    Count triples;
    for (const std::string& x : classes.halfWidth)
        for (const std::string& y : classes.halfWidth)
            for (const std::string& z : classes.halfWidth)
                countText(x + y + z, triples);
    EXPECT_EQ(triples.valid, 0);
}

// The measurement behind the rule: how many texts of two characters (three for the half-width katakana
// and a sample of the level-2 kanji) are valid UTF-8, how many hold one Japanese character by the rule,
// and how many the rule reads as UTF-8. Run it with
//   build/tests/setup/decode_tests --gtest_also_run_disabled_tests --gtest_filter='*Measure*'
TEST(Utf8Text, DISABLED_MeasureCodePage932TextReadAsUtf8) {
    const Classes c;
    const std::vector<std::string> common = c.common();
    const std::vector<std::string> all = joined(common, c.levelTwo);
    struct Row {
        const char* name;
        Count count;
    };
    std::vector<Row> rows = {
        {"kana + kana", countPairs(c.kana, c.kana)},
        {"half-width + half-width", countPairs(c.halfWidth, c.halfWidth)},
        {"level 1 + level 1", countPairs(c.levelOne, c.levelOne)},
        {"kana, half-width, level 1 mixed", countPairs(common, common)},
        {"level 2 + level 2", countPairs(c.levelTwo, c.levelTwo)},
        {"level 2 + any, any + level 2", {}},
        {"any + any", countPairs(all, all)},
        {"half-width triples", {}},
        {"level 2 triples, 10^7 drawn", {}},
    };
    const Count before = countPairs(c.levelTwo, common);
    const Count after = countPairs(common, c.levelTwo);
    const Count both = rows[4].count;
    rows[5].count = {before.all + after.all + both.all, before.valid + after.valid + both.valid,
                     before.oneJapanese + after.oneJapanese + both.oneJapanese, before.read + after.read + both.read};
    for (const std::string& x : c.halfWidth)
        for (const std::string& y : c.halfWidth)
            for (const std::string& z : c.halfWidth)
                countText(x + y + z, rows[7].count);
    std::uint64_t state = 12345; // a fixed seed: the same draw on every run
    const auto draw = [&]() -> const std::string& {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return c.levelTwo[(state >> 33) % c.levelTwo.size()];
    };
    for (int i = 0; i < 10000000; ++i)
        countText(draw() + draw() + draw(), rows[8].count);

    const auto percent = [](long long n, long long all) {
        return 100.0 * static_cast<double>(n) / static_cast<double>(all);
    };
    std::printf("%-34s %10s %10s %8s %11s %8s %9s %8s\n", "code page 932 text", "texts", "valid", "%", "1 Japanese",
                "%", "read", "%");
    for (const Row& row : rows) {
        const Count& n = row.count;
        std::printf("%-34s %10lld %10lld %8.4f %11lld %8.4f %9lld %8.4f\n", row.name, n.all, n.valid,
                    percent(n.valid, n.all), n.oneJapanese, percent(n.oneJapanese, n.all), n.read,
                    percent(n.read, n.all));
    }
}

} // namespace
} // namespace velmora
