#include "setup/settings_file.h"

#include "setup/ansi_decode.h"
#include "setup/line_splitter.h"
#include "setup/number_parse.h"
#include "setup/settings_reader.h"

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

namespace velmora {
namespace {

// Bytes already in memory, fed to the same splitter that reads files.
ReadOutcome splitBytes(std::string_view bytes, LineSplitter& splitter) {
    if (splitter.feed(bytes) == LineSplitter::State::NeedMore)
        splitter.finish();
    return {};
}

// A line taken out of the table for good, so that a long heading is held at most twice while it is
// decoded; a line of ASCII alone is its own text and is not copied at all.
std::string takeDecoded(std::string& slot) {
    std::string raw = std::move(slot);
    for (char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80)
            return decodeAnsiLine(raw);
    return raw;
}

// Steps after the file is closed: convert and assign, field by field, in the file's order.
class Assigner {
public:
    Assigner(SettingsLines& lines, SearchSetup& setup, const HeadingSink& sink)
        : m_lines(lines), m_setup(setup), m_sink(sink) {}

    LoadResult run() {
        std::int64_t value = 0;
        if (!number(1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), value))
            return m_result;
        m_setup.target = static_cast<std::int32_t>(value);

        for (int k = 1; k <= SearchSetup::kTermCount; ++k) {
            TermSpec& term = m_setup.term(k);
            term.heading = takeDecoded(m_lines[static_cast<std::size_t>(k)]);
            if (m_sink && !m_sink(k, term.heading))
                return fail(LoadFailure::HeadingRejected, k + 1);
        }
        for (int k = 1; k <= SearchSetup::kTermCount; ++k) {
            if (!number(k + 9, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                        value))
                return m_result;
            m_setup.term(k).weight = static_cast<std::int32_t>(value);
        }
        for (int k = 1; k <= SearchSetup::kTermCount; ++k) {
            TermSpec& term = m_setup.term(k);
            if (!number(2 * k + 16, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max(),
                        value))
                return m_result;
            term.first = static_cast<std::int16_t>(value);
            if (!number(2 * k + 17, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max(),
                        value))
                return m_result;
            term.last = static_cast<std::int16_t>(value);
        }
        return m_result;
    }

private:
    const std::string& line(int number) const { return m_lines[static_cast<std::size_t>(number - 1)]; }

    bool number(int lineNumber, std::int64_t min, std::int64_t max, std::int64_t& value) {
        const ParsedNumber parsed = parseWholeNumber(decodeAnsiLine(line(lineNumber)), min, max);
        switch (parsed.status) {
        case NumberParse::Ok:
            value = parsed.value;
            return true;
        case NumberParse::OutOfRange:
            fail(LoadFailure::OutOfRange, lineNumber);
            return false;
        case NumberParse::NotANumber:
            break;
        }
        fail(LoadFailure::NotANumber, lineNumber);
        return false;
    }

    LoadResult fail(LoadFailure failure, int lineNumber) {
        m_result.failure = failure;
        m_result.line = lineNumber;
        return m_result;
    }

    SettingsLines& m_lines;
    SearchSetup& m_setup;
    const HeadingSink& m_sink;
    LoadResult m_result;
};

// Reads through `read`, which feeds the splitter, then converts and assigns.
template <typename Read>
LoadResult loadLines(Read read, SearchSetup& setup, const HeadingSink& sink) {
    SettingsLines lines;
    LineSplitter splitter(lines);
    ReadOutcome outcome;
    try {
        outcome = read(splitter);
    } catch (const std::bad_alloc&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1, splitter.count()};
    } catch (const std::length_error&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1, splitter.count()};
    }
    if (outcome.failure != LoadFailure::None)
        return {outcome.failure, 0, splitter.count(), std::move(outcome.reason)};
    if (splitter.state() == LineSplitter::State::LineTooLong)
        return {LoadFailure::LineTooLong, splitter.count() + 1, splitter.count()};
    if (splitter.count() < SettingsFile::kLineCount)
        return {LoadFailure::TooFewLines, 0, splitter.count()};
    try {
        return Assigner(lines, setup, sink).run();
    } catch (const std::bad_alloc&) {
        return {LoadFailure::OutOfMemory, 0, splitter.count()};
    }
}

// Field names, for telling the user which value is wrong.
std::string fieldOfLine(int line) {
    if (line == 1)
        return "合計";
    if (line >= 10 && line <= 17)
        return "項目 " + std::to_string(line - 9) + " の乗数";
    if (line >= 18 && line <= 33) {
        const int term = (line - 16) / 2;
        return "項目 " + std::to_string(term) + (line % 2 == 0 ? " の最初の値"
                                                                        : " の最後の値");
    }
    return {};
}

} // namespace

std::string LoadResult::cause(std::string_view path) const {
    const std::string at = std::to_string(line) + " 行目";
    const std::string file = path.empty() ? "ファイル" : "ファイル「" + std::string(path) + "」";
    const std::string why = reason.empty() ? std::string() : " (" + reason + ")";
    switch (failure) {
    case LoadFailure::None:
        return {};
    case LoadFailure::FileNotFound:
        return file + "がありません。";
    case LoadFailure::Unreadable:
        return file + "を読めません" + why + "。";
    case LoadFailure::TooFewLines:
        return "33 行が必要ですが、" + std::to_string(linesFound) + " 行しかありません。";
    case LoadFailure::NotANumber:
        return at + " (" + fieldOfLine(line) + "): 数値ではありません。";
    case LoadFailure::OutOfRange:
        return at + " (" + fieldOfLine(line) + "): 値が範囲外です (" +
               (line <= 17 ? std::string("-2147483648 〜 2147483647") : std::string("-32768 〜 32767")) +
               ")。";
    case LoadFailure::HeadingRejected:
        return at + ": 見出しを表示できません。";
    case LoadFailure::OutOfMemory:
        return at + ": 行が長すぎて読み込めません。";
    case LoadFailure::LineTooLong:
        return at + ": 行が長すぎます (1 行 " + std::to_string(SettingsFile::kMaxLineBytes) + " バイトまで)。";
    }
    return {};
}

LoadResult SettingsFile::load(SearchSetup& setup, const HeadingSink& sink, const std::filesystem::path& path) {
    return loadLines([&](LineSplitter& splitter) { return readSettingsFile(path, splitter); }, setup, sink);
}

LoadResult SettingsFile::loadFromBytes(std::string_view bytes, SearchSetup& setup, const HeadingSink& sink) {
    return loadLines([&](LineSplitter& splitter) { return splitBytes(bytes, splitter); }, setup, sink);
}

} // namespace velmora
