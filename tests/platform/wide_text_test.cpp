// UTF-8 and the wide API's UTF-16, both ways, at the edges: empty text, characters beyond 16 bits, and
// what does not convert.
#include "platform/wide_text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WideText, ConvertsBothWaysAndReplacesWhatIsNotText) {
    struct Case {
        std::string_view utf8;
        std::wstring_view wide;
    };
    for (const Case& c : {Case{"", L""}, Case{"text-2x.ini", L"text-2x.ini"}, Case{"りんご 合計", L"りんご 合計"},
                          Case{"\xF0\xA0\xAE\xB7野家", L"\U00020BB7野家"}, Case{std::string_view("a\0b", 3), std::wstring_view(L"a\0b", 3)}}) {
        EXPECT_EQ(wideFromUtf8(c.utf8), c.wide);
        EXPECT_EQ(utf8FromWide(c.wide), c.utf8);
    }
    EXPECT_EQ(wideFromUtf8("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(utf8FromWide(std::wstring_view(L"a\xD800" L"b")), "a\xEF\xBF\xBD" "b");
}

} // namespace
} // namespace velmora
