#include "search/number_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace velmora {
namespace {

TEST(NumberText, PlainDecimalWithHyphenMinusForNegatives) {
    const std::pair<std::int32_t, const char*> rows[] = {
        {0, "0"},           {7, "7"},       {-7, "-7"},    {120, "120"},  {-32768, "-32768"}, {32767, "32767"},
        {1000000, "1000000"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}, {-10, "-10"},
    };
    for (const auto& [value, text] : rows) {
        EXPECT_EQ(numberText(value), text);
        char buffer[kMaxNumberText];
        EXPECT_EQ(std::string(buffer, writeNumberText(buffer, value)), text);
    }
}

} // namespace
} // namespace velmora
