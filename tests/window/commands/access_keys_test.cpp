// Access-key marks in a caption: what shows, what is underlined, and which key moves the focus.
#include "window/commands/access_keys.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(AccessKeys, EveryMarkIsUnderlinedAndTheFirstIsTheKey) {
    struct Case {
        std::u16string_view caption;
        std::u16string_view shown;
        std::vector<std::size_t> marked;
        std::u16string_view matching; // the typed characters that are its access key
        std::u16string_view other;    // characters of the caption that are not
    };
    const Case cases[] = {
        {u"りんご", u"りんご", {}, u"", u"りんご"},
        {u"", u"", {}, u"", u"&"},
        {u"&Apple", u"Apple", {0}, u"Aa", u"p&"},
        {u"み&かん", u"みかん", {1}, u"か", u"みん"},
        {u"A&&B", u"A&B", {}, u"", u"AB&"},
        {u"&&&X", u"&X", {1}, u"Xx", u"&"},
        {u"&a&b", u"ab", {0, 1}, u"aA", u"bB"}, // the first mark only, as the dialog manager takes it
        {u"AB&", u"AB", {}, u"", u"AB"},
        {u"&&&&", u"&&", {}, u"", u"&"},
        {u"& x", u" x", {0}, u"", u" x"},         // a mark on a space is no key
        {u"&\u3000", u"\u3000", {0}, u"", u"\u3000"}, // nor on an ideographic space
        {u"&ａ", u"ａ", {0}, u"ａＡ", u"aA"},        // full-width letters fold with their own kind
        {u"&é", u"é", {0}, u"éÉ", u"e"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.caption.begin(), c.caption.end()));
        const AccessKeyText<char16_t> text = parseAccessKeys(c.caption);
        EXPECT_EQ(text.shown, c.shown);
        EXPECT_EQ(text.marked, c.marked);
        EXPECT_EQ(text.key().has_value(), !c.matching.empty());
        for (char16_t typed : c.matching)
            EXPECT_TRUE(text.matches(typed)) << int(typed);
        for (char16_t typed : c.other)
            EXPECT_FALSE(text.matches(typed)) << int(typed);
    }
    // UTF-8 and wide text parse alike; '&' never stands inside a multi-byte character.
    EXPECT_EQ(parseAccessKeys(std::string_view("み&かん&&")).shown, "みかん&");
    EXPECT_EQ(parseAccessKeys(std::wstring_view(L"&Apple")).marked, std::vector<std::size_t>{0});
}

} // namespace
} // namespace velmora
