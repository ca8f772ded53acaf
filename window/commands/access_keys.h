#pragma once

// Access keys in a caption, for every window: "&x" marks x, which is drawn underlined; "&&" shows one
// ampersand; a lone '&' at the end shows nothing. Every mark is underlined, but only the first one is the
// access key, as the window system's dialog manager takes it: Alt with that character moves the focus on.
// Written for any character type, so that each window parses its own strings (UTF-16 on both toolkits).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace velmora {

/// A caption with its access-key marks worked out.
template <class Char>
struct AccessKeyText {
    std::basic_string<Char> shown;   // the text as drawn
    std::vector<std::size_t> marked; // positions in `shown` of the underlined characters, ascending

    /// The access key: the first marked character, or nothing when none is marked or the mark stands on a
    /// space or a control character (no key types it).
    std::optional<Char> key() const {
        if (marked.empty())
            return std::nullopt;
        const Char c = shown[marked.front()];
        const char32_t at = code(c);
        if (at <= U' ' || at == 0x7F || at == 0x3000)
            return std::nullopt;
        return c;
    }

    /// True when `typed` is the access key, either case of a letter alike.
    bool matches(Char typed) const {
        const std::optional<Char> k = key();
        return k && foldCase(code(*k)) == foldCase(code(typed));
    }

private:
    static char32_t code(Char c) { return static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(c)); }

    // Upper case for the letters that have a case in the captions a user may write: ASCII, Latin-1 and
    // the full-width Latin letters of a Japanese keyboard.
    static char32_t foldCase(char32_t c) {
        if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            return c - 0x20;
        if (c >= 0xFF41 && c <= 0xFF5A) // ａ .. ｚ
            return c - 0x20;
        return c;
    }
};

template <class Char>
AccessKeyText<Char> parseAccessKeys(std::basic_string_view<Char> caption) {
    AccessKeyText<Char> result;
    result.shown.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != Char('&')) {
            result.shown += caption[i];
            continue;
        }
        if (++i == caption.size())
            break;
        if (caption[i] != Char('&'))
            result.marked.push_back(result.shown.size());
        result.shown += caption[i];
    }
    return result;
}

} // namespace velmora
