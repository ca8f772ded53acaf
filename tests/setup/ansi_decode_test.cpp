#include "setup/ansi_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

// The same cases run on Linux (iconv) and on Windows (the ANSI code page, 932 under test): both
// implementations must agree byte for byte.
namespace velmora {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

struct DecodeCase {
    const char* name;
    std::string_view bytes;
    std::string_view utf8;
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c) { return os << c.name; }

class AnsiDecodeTable : public testing::TestWithParam<DecodeCase> {};

TEST_P(AnsiDecodeTable, DecodesToExpectedUtf8) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(decodeAnsiLine(c.bytes), c.utf8);
}

// Characters where the code page 932 table differs from plain Shift_JIS or from its neighbours.
INSTANTIATE_TEST_SUITE_P(ValidCharacters, AnsiDecodeTable,
    testing::Values(
        DecodeCase{"BackslashNotYen", "\x5C", "\\"},
        DecodeCase{"WaveDashIsFullwidthTilde", "\x81\x60", "\uFF5E"},
        DecodeCase{"CircledDigitOne", "\x87\x40", "\u2460"},
        DecodeCase{"HiraganaA", "\x82\xA0", "\u3042"},
        DecodeCase{"HalfwidthKatakanaFirst", "\xA1", "\uFF61"},
        DecodeCase{"HalfwidthKatakanaLast", "\xDF", "\uFF9F"},
        DecodeCase{"IbmExtensionRow", "\xFA\x40", "\u2170"},
        DecodeCase{"NecSelectedIbmExtension", "\xED\x40", "\u7E8A"},
        DecodeCase{"UserDefinedAreaIsPrivateUse", "\xF0\x40", "\uE000"},
        DecodeCase{"TrailByteBelow7F", "\x88\x9F", "\u4E9C"},
        DecodeCase{"HeadingWithSpacesKept", " \x8D\x80\x96\xDA 1 ", " \u9805\u76EE 1 "},
        DecodeCase{"AsciiUnchanged", "abc 123", "abc 123"},
        DecodeCase{"EmptyLine", "", ""},
        DecodeCase{"NulByteKept", "\x82\xA0\0\x82\xA2"sv, "\u3042\0\u3044"sv},
        DecodeCase{"LoneLineFeedKept", "\x82\xA0\n", "\u3042\n"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

// Each unit that does not decode becomes one U+FFFD and everything after it survives.
INSTANTIATE_TEST_SUITE_P(InvalidUnits, AnsiDecodeTable,
    testing::Values(
        DecodeCase{"LeadByteBeforeSpace", "\x81\x20", "\uFFFD "},
        DecodeCase{"LeadByteBeforeDel", "\x81\x7F", "\uFFFD\x7F"},
        DecodeCase{"LoneLeadByteAtEnd", "A\x82", "A\uFFFD"},
        DecodeCase{"LoneLeadByteOnly", "\xE0", "\uFFFD"},
        DecodeCase{"ByteFD", "\xFD", "\uFFFD"},
        DecodeCase{"ByteFE", "\xFE", "\uFFFD"},
        DecodeCase{"ByteFF", "\xFF", "\uFFFD"},
        DecodeCase{"Byte80", "\x80", "\uFFFD"},
        DecodeCase{"ByteA0", "\xA0", "\uFFFD"},
        DecodeCase{"UnassignedPairIsOneUnit", "\x85\x40", "\uFFFD"},
        DecodeCase{"UnassignedPairBetweenCharacters", "\x82\xA0\x85\x40\x82\xA2", "\u3042\uFFFD\u3044"},
        DecodeCase{"LeadByteBeforeFDTakesOnlyItself", "\x81\xFD\x82\xA0", "\uFFFD\uFFFD\u3042"},
        DecodeCase{"TwoBadBytesTwoReplacements", "\x80\xA0", "\uFFFD\uFFFD"},
        DecodeCase{"InvalidFirstThenNumber", "\xFD" "42", "\uFFFD" "42"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

#ifdef _WIN32
// Every case above assumes the Japanese ANSI code page; say so plainly instead of failing them one by one.
TEST(AnsiDecode, RunsUnderCodePage932) { ASSERT_EQ(GetACP(), 932u) << "run the tests with LC_ALL=ja_JP.UTF-8 under wine"; }
#endif

TEST(AnsiDecode, LongLineKeepsEveryCharacterAcrossConversionChunks) {
    // Longer than one conversion call takes, with a bad byte at the very end and a pair straddling
    // every 64 KiB boundary (the line starts with one ASCII byte, so the pairs sit at odd offsets).
    std::string bytes = "x";
    std::string expected = "x";
    for (int i = 0; i < 100'000; ++i) {
        bytes += "\x82\xA0";
        expected += "\u3042";
    }
    bytes += "\x80";
    expected += kFffd;
    EXPECT_EQ(decodeAnsiLine(bytes), expected);
}

TEST(AnsiDecode, LongLineWithUnassignedPairReplacesOnlyThatPair) {
    std::string bytes(70'000, 'a');
    bytes += "\x85\x40\x82\xA0";
    EXPECT_EQ(decodeAnsiLine(bytes), std::string(70'000, 'a') + std::string(kFffd) + "\u3042");
}

// The whole double-byte table, compared across platforms: every lead byte with every trail byte gives one
// character or one U+FFFD, never more (a pair is one unit), and the characters hash to the same value on
// Linux and on Windows. Code page 932 assigns 9,604 of the 11,280 pairs: 7,724 characters (JIS X 0208 and
// the NEC and IBM extensions) and 1,880 in the user-defined area, which decodes to private use.
TEST(AnsiDecode, EveryLeadTrailPairDecodesAlikeOnBothPlatforms) {
    int assigned = 0;
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a over all the outputs
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string text = decodeAnsiLine(bytes);
            // Exactly one UTF-8 character: one byte that is not a continuation byte.
            ASSERT_EQ(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }), 1)
                << std::hex << lead << ' ' << trail;
            if (text != kFffd)
                ++assigned;
            for (char c : text)
                hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    }
    EXPECT_EQ(assigned, 9604);
    // The value glibc's CP932 table gives; Windows' table must give the same.
    EXPECT_EQ(hash, 0xdfe22d8568e4f1bbull) << std::hex << hash;
}

} // namespace
} // namespace velmora
