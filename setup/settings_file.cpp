#include "setup/settings_file.h"

#include "setup/ansi_decode.h"
#include "setup/line_splitter.h"
#include "setup/number_parse.h"
#include "setup/settings_reader.h"
#include "setup/utf8_text.h"

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

using Decoder = std::string (*)(std::string_view);

// Decides how the lines' bytes become text: UTF-8 after a byte-order mark, which is dropped from line 1;
// UTF-8 when the lines are Japanese UTF-8 by the rule of utf8_text.h; else the ANSI code page, which also
// wins wherever that rule cannot tell.
TextEncoding chooseEncoding(SettingsLines& lines, int count) {
    std::string& first = lines[0];
    if (first.compare(0, utf8::kByteOrderMark.size(), utf8::kByteOrderMark) == 0) {
        first.erase(0, utf8::kByteOrderMark.size());
        return TextEncoding::Utf8WithMark;
    }
    std::size_t japanese = 0;
    for (int i = 0; i < count; ++i) {
        const utf8::Evidence line = utf8::evidence(lines[static_cast<std::size_t>(i)]);
        if (!line.possible)
            return TextEncoding::Ansi;
        japanese += line.japanese;
    }
    return japanese >= utf8::kJapaneseCharactersNeeded ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

Decoder decoderFor(TextEncoding encoding) {
    return encoding == TextEncoding::Ansi ? &decodeAnsiLine : &utf8::decodeLine;
}

// A line taken out of the table for good, so that a long heading is held at most twice while it is
// decoded; a line of ASCII alone is its own text and is not copied at all.
std::string takeDecoded(std::string& slot, Decoder decode) {
    std::string raw = std::move(slot);
    for (char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80)
            return decode(raw);
    return raw;
}

// Steps after the file is closed: convert and assign, field by field, in the file's order.
class Assigner {
public:
    Assigner(SettingsLines& lines, SearchSetup& setup, const HeadingSink& sink, FileReading reading)
        : m_lines(lines), m_setup(setup), m_sink(sink), m_decode(decoderFor(reading.encoding)) {
        m_result.reading = reading;
    }

    LoadResult run() {
        std::int64_t value = 0;
        if (!number(1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), value))
            return m_result;
        m_setup.target = static_cast<std::int32_t>(value);

        for (int k = 1; k <= SearchSetup::kTermCount; ++k) {
            TermSpec& term = m_setup.term(k);
            term.heading = takeDecoded(m_lines[static_cast<std::size_t>(k)], m_decode);
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
        const ParsedNumber parsed = parseWholeNumber(m_decode(line(lineNumber)), min, max);
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
    Decoder m_decode;
    LoadResult m_result;
};

// Reads through `read`, which feeds the splitter, then converts and assigns.
template <typename Read> LoadResult loadLines(Read read, SearchSetup& setup, const HeadingSink& sink) {
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
    FileReading reading;
    reading.lineEnds = splitter.lineEnds();
    reading.loneLineFeed = splitter.loneLineFeedInLines();
    reading.encoding = chooseEncoding(lines, splitter.count());
    LoadResult failed;
    failed.reading = reading;
    failed.linesFound = splitter.count();
    if (splitter.state() == LineSplitter::State::LineTooLong) {
        failed.failure = LoadFailure::LineTooLong;
        failed.line = splitter.count() + 1;
        return failed;
    }
    if (splitter.count() < SettingsFile::kLineCount) {
        failed.failure = LoadFailure::TooFewLines;
        return failed;
    }
    try {
        return Assigner(lines, setup, sink, reading).run();
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
        return "項目 " + std::to_string(term) + (line % 2 == 0 ? " の最初の値" : " の最後の値");
    }
    return {};
}

// How the lines were counted, for a file with too few: the only failure where the reading explains it.
std::string lineEndNote(const FileReading& reading) {
    if (reading.lineEnds == LineEnds::Lf)
        return "（改行が LF だけのファイルとして読みました）";
    if (reading.loneLineFeed)
        return "（CR の改行があるファイルなので、LF だけの改行では行を区切っていません）";
    return {};
}

} // namespace

std::string LoadResult::cause(std::string_view path) const {
    const std::string at = std::to_string(line) + " 行目";
    const std::string file = path.empty() ? "ファイル" : "ファイル「" + std::string(path) + "」";
    const std::string why = reason.empty() ? std::string() : "（" + reason + "）";
    switch (failure) {
    case LoadFailure::None:
        return {};
    case LoadFailure::FileNotFound:
        return file + "がありません。";
    case LoadFailure::Unreadable:
        return file + "を読めません" + why + "。";
    case LoadFailure::TooFewLines:
        return "33 行が必要ですが、" + std::to_string(linesFound) + " 行しかありません" + lineEndNote(reading) + "。";
    case LoadFailure::NotANumber:
        return at + "（" + fieldOfLine(line) + "）：数値ではありません。";
    case LoadFailure::OutOfRange:
        return at + "（" + fieldOfLine(line) + "）：値が範囲外です（" +
               (line <= 17 ? std::string("-2147483648 〜 2147483647") : std::string("-32768 〜 32767")) + "）。";
    case LoadFailure::HeadingRejected:
        return at + "：見出しを表示できません。";
    case LoadFailure::OutOfMemory:
        return at + "：行が長すぎて読み込めません。";
    case LoadFailure::LineTooLong:
        return at + "：行が長すぎます（1 行 " + std::to_string(SettingsFile::kMaxLineBytes) + " バイトまで）。";
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
