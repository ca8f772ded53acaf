#include "setup/number_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace velmora {
namespace {

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kMax16 = std::numeric_limits<std::int16_t>::max();

struct Row {
    std::string text;
    NumberParse status;
    std::int64_t value;
};

void expectRows(const std::vector<Row>& rows, std::int64_t min, std::int64_t max) {
    for (const Row& row : rows) {
        SCOPED_TRACE("text: [" + row.text + "]");
        const ParsedNumber parsed = parseWholeNumber(row.text, min, max);
        EXPECT_EQ(parsed.status, row.status);
        if (row.status == NumberParse::Ok) {
            EXPECT_EQ(parsed.value, row.value);
        }
    }
}

TEST(NumberParse, PlainDecimalsWithBlanksAndSigns) {
    expectRows({{"42", NumberParse::Ok, 42},
                {"  42 ", NumberParse::Ok, 42},
                {"+7", NumberParse::Ok, 7},
                {"-7", NumberParse::Ok, -7},
                {"0", NumberParse::Ok, 0},
                {"-0", NumberParse::Ok, 0},
                {"007", NumberParse::Ok, 7},
                {"\t12\t", NumberParse::Ok, 12},
                {"\u3000" "12\u3000", NumberParse::Ok, 12},
                {std::string(40, '0') + "19", NumberParse::Ok, 19}},
               kMin32, kMax32);
}

TEST(NumberParse, FullWidthNotation) {
    expectRows({{"\uFF11\uFF12\uFF13", NumberParse::Ok, 123},
                {"\uFF0D\uFF15", NumberParse::Ok, -5},
                {"\uFF0B\uFF15", NumberParse::Ok, 5},
                {"\u22125", NumberParse::Ok, -5},
                {"\uFF12\uFF0E\uFF15", NumberParse::Ok, 2},
                {"1\uFF12", NumberParse::Ok, 12}},
               kMin32, kMax32);
}

TEST(NumberParse, RoundsHalfToEven) {
    expectRows({{"0.5", NumberParse::Ok, 0},
                {"1.5", NumberParse::Ok, 2},
                {"2.5", NumberParse::Ok, 2},
                {"3.5", NumberParse::Ok, 4},
                {"-1.5", NumberParse::Ok, -2},
                {"-2.5", NumberParse::Ok, -2},
                {"-0.5", NumberParse::Ok, 0},
                {"2.5000000000000000000000001", NumberParse::Ok, 3},
                {"2.4999999999999999999999999", NumberParse::Ok, 2},
                {"2.50000", NumberParse::Ok, 2},
                {"0.49", NumberParse::Ok, 0},
                {"0.51", NumberParse::Ok, 1},
                {"5.", NumberParse::Ok, 5},
                {".5", NumberParse::Ok, 0},
                {".6", NumberParse::Ok, 1},
                {"-.6", NumberParse::Ok, -1}},
               kMin32, kMax32);
}

TEST(NumberParse, RangeOfThirtyTwoBitFieldsIsCheckedAfterRounding) {
    expectRows({{"2147483647", NumberParse::Ok, kMax32},
                {"2147483648", NumberParse::OutOfRange, 0},
                {"2147483646.5", NumberParse::Ok, 2147483646},
                {"2147483647.4", NumberParse::Ok, kMax32},
                {"2147483647.5", NumberParse::OutOfRange, 0},
                {"-2147483648", NumberParse::Ok, kMin32},
                {"-2147483648.5", NumberParse::Ok, kMin32},
                {"-2147483648.6", NumberParse::OutOfRange, 0},
                {"-2147483649", NumberParse::OutOfRange, 0},
                {"99999999999999999999999999999", NumberParse::OutOfRange, 0},
                {"-99999999999999999999999999999.5", NumberParse::OutOfRange, 0}},
               kMin32, kMax32);
}

TEST(NumberParse, RangeOfSixteenBitFields) {
    expectRows({{"32767", NumberParse::Ok, kMax16},
                {"32768", NumberParse::OutOfRange, 0},
                {"32767.5", NumberParse::OutOfRange, 0},
                {"32767.4", NumberParse::Ok, kMax16},
                {"-32768", NumberParse::Ok, kMin16},
                {"-32768.5", NumberParse::Ok, kMin16},
                {"-32769", NumberParse::OutOfRange, 0}},
               kMin16, kMax16);
}

TEST(NumberParse, RejectsEverythingElse) {
    const char* const notNumbers[] = {
        "",       " ",      "\t",    ".",      "+",      "-",    "+.",     "abc",   "1,000", "1 000", "1e3",
        "1E3",    "0x10",   "&H10",  "5-",     "5+",     "- 5",  "+-5",    "--5",   "1.2.3", "1..2",  "(5)",
        "\u00A55", "$5",    "5 a",   "\xEF\xBB\xBF\x35" /* BOM, 5 */, "\xEF\xBF\xBD", "5\n",  "\n5",   "\uFF0E",
    };
    for (const char* text : notNumbers) {
        SCOPED_TRACE(std::string("text: [") + text + "]");
        EXPECT_EQ(parseWholeNumber(text, kMin32, kMax32).status, NumberParse::NotANumber);
    }
}

} // namespace
} // namespace velmora
