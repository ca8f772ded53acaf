// Decoding on Windows: through the system's ANSI code page (CP_ACP), code page 932 on a Japanese system.
#include "setup/ansi_decode.h"

#include "platform/wide_text.h"
#include "setup/cp932_units.h"

#include <algorithm>
#include <array>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace velmora {
namespace {

// Bytes handed to MultiByteToWideChar in one call; it takes an int length, and a line has no length limit.
constexpr std::size_t kMaxRun = 64 * 1024;

// How the ANSI code page cuts bytes into units. On code page 932 this is exactly the rule of the POSIX
// decoder, so that both platforms replace the same bytes. On any other code page the lead bytes come
// from the system and every unit that converts is taken as it comes.
class UnitRule {
public:
    UnitRule() : m_is932(GetACP() == 932) {
        for (unsigned b = 0; b < 256; ++b)
            m_lead[b] = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b)) != 0;
    }

    std::size_t length(std::string_view bytes) const {
        if (m_is932)
            return cp932::unitLength(bytes);
        if (bytes.size() >= 2 && m_lead[static_cast<unsigned char>(bytes[0])])
            return 2;
        return 1;
    }

    // A unit that the code page's table is known not to hold, whatever the system's conversion says:
    // Windows maps byte 80 of code page 932 to U+0080 for round trips only, and a lone lead byte never
    // decodes. Other units are settled by the conversion itself.
    bool knownInvalid(std::string_view unit) const {
        const auto first = static_cast<unsigned char>(unit[0]);
        if (unit.size() == 2)
            return false;
        if (m_is932)
            return !cp932::isSingleByteCharacter(first);
        return m_lead[first];
    }

private:
    bool m_is932;
    std::array<bool, 256> m_lead{};
};

const UnitRule& unitRule() {
    static const UnitRule rule;
    return rule;
}

// Converts `bytes` strictly; false when any part of it does not decode (ERROR_NO_UNICODE_TRANSLATION).
bool toWide(std::string_view bytes, std::wstring& wide) {
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n) == n;
}

// Converts a run of units that passed the rule. The whole run goes in one call; only when that fails
// (an unassigned pair such as 85 40) is it converted unit by unit to find the units to replace.
void appendRun(std::string_view run, std::string& out) {
    if (run.empty())
        return;
    std::wstring wide;
    if (toWide(run, wide)) {
        out += utf8FromWide(wide);
        return;
    }
    const UnitRule& rule = unitRule();
    while (!run.empty()) {
        const std::size_t n = rule.length(run);
        if (toWide(run.substr(0, n), wide))
            out += utf8FromWide(wide);
        else
            out += cp932::kReplacement;
        run.remove_prefix(n);
    }
}

} // namespace

std::string decodeAnsiLine(std::string_view bytes) {
    // Pure ASCII (numbers, most lines) needs no conversion.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(bytes);

    // MultiByteToWideChar either fails a whole buffer on one bad byte (MB_ERR_INVALID_CHARS) or silently
    // puts U+30FB or a private-use character in its place, so the line is cut into runs of units that
    // may decode, and every unit that cannot is replaced here.
    const UnitRule& rule = unitRule();
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    std::size_t runStart = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::string_view rest = bytes.substr(pos);
        const std::size_t n = rule.length(rest);
        const bool invalid = rule.knownInvalid(rest.substr(0, n));
        if (invalid || pos - runStart + n > kMaxRun) {
            appendRun(bytes.substr(runStart, pos - runStart), out);
            runStart = pos;
        }
        pos += n;
        if (invalid) {
            out += cp932::kReplacement;
            runStart = pos;
        }
    }
    appendRun(bytes.substr(runStart), out);
    return out;
}

} // namespace velmora
