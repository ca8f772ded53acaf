#include "setup/settings_file.h"

#include "setup/ansi_decode.h"
#include "setup/number_parse.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace velmora {
namespace {

using LineTable = std::array<std::string, SettingsFile::kLineCount>;

// Splits bytes fed in chunks into the first 33 lines; stops taking bytes once it has them.
class LineSplitter {
public:
    explicit LineSplitter(LineTable& lines) : m_lines(lines) {}

    bool full() const { return m_count == SettingsFile::kLineCount; }
    int count() const { return m_count; }

    // Takes the next chunk of the file; returns true once 33 lines are complete.
    bool feed(std::string_view chunk) {
        while (!chunk.empty() && !full()) {
            if (m_afterCr) {
                m_afterCr = false;
                if (chunk[0] == '\n') {
                    chunk.remove_prefix(1);
                    continue;
                }
            }
            const void* cr = std::memchr(chunk.data(), '\r', chunk.size());
            const std::size_t n = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - chunk.data()) : chunk.size();
            m_lines[static_cast<std::size_t>(m_count)].append(chunk.data(), n);
            m_lineHasBytes = m_lineHasBytes || n > 0;
            chunk.remove_prefix(n);
            if (cr) {
                chunk.remove_prefix(1);
                endLine();
                m_afterCr = true;
            }
        }
        return full();
    }

    // The end of the file ends a last line that has no line end; it adds no empty line after one.
    void finish() {
        if (!full() && m_lineHasBytes)
            endLine();
    }

private:
    void endLine() {
        ++m_count;
        m_lineHasBytes = false;
    }

    LineTable& m_lines;
    int m_count = 0;
    bool m_afterCr = false;
    bool m_lineHasBytes = false;
};

struct ReadOutcome {
    LoadFailure failure = LoadFailure::None;
    int linesFound = 0;
};

ReadOutcome readFile(const std::filesystem::path& path, LineTable& lines) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (!file)
        return {errno == ENOENT || errno == ENOTDIR ? LoadFailure::FileNotFound : LoadFailure::Unreadable, 0};

    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{file};

    LineSplitter splitter(lines);
    static constexpr std::size_t kChunk = 64 * 1024;
    std::array<char, kChunk> buffer;
    try {
        for (;;) {
            const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
            if (splitter.feed(std::string_view(buffer.data(), n)))
                return {LoadFailure::None, splitter.count()};
            if (n < buffer.size()) {
                if (std::ferror(file))
                    return {LoadFailure::Unreadable, splitter.count()};
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1};
    } catch (const std::length_error&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1};
    }
    splitter.finish();
    return {LoadFailure::None, splitter.count()};
}

ReadOutcome readBytes(std::string_view bytes, LineTable& lines) {
    LineSplitter splitter(lines);
    try {
        if (!splitter.feed(bytes))
            splitter.finish();
    } catch (const std::bad_alloc&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1};
    } catch (const std::length_error&) {
        return {LoadFailure::OutOfMemory, splitter.count() + 1};
    }
    return {LoadFailure::None, splitter.count()};
}

// Steps after the file is closed: convert and assign, field by field, in the file's order.
class Assigner {
public:
    Assigner(const LineTable& lines, SearchSetup& setup, const HeadingSink& sink)
        : m_lines(lines), m_setup(setup), m_sink(sink) {}

    LoadResult run() {
        std::int64_t value = 0;
        if (!number(1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), value))
            return m_result;
        m_setup.target = static_cast<std::int32_t>(value);

        for (int k = 1; k <= SearchSetup::kTermCount; ++k) {
            TermSpec& term = m_setup.term(k);
            term.heading = decodeAnsiLine(line(k + 1));
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

    const LineTable& m_lines;
    SearchSetup& m_setup;
    const HeadingSink& m_sink;
    LoadResult m_result;
};

LoadResult finishLoad(const ReadOutcome& read, const LineTable& lines, SearchSetup& setup, const HeadingSink& sink) {
    if (read.failure != LoadFailure::None)
        return {read.failure, read.failure == LoadFailure::OutOfMemory ? read.linesFound : 0, read.linesFound};
    if (read.linesFound < SettingsFile::kLineCount)
        return {LoadFailure::TooFewLines, 0, read.linesFound};
    try {
        return Assigner(lines, setup, sink).run();
    } catch (const std::bad_alloc&) {
        return {LoadFailure::OutOfMemory, 0, read.linesFound};
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

std::string LoadResult::cause() const {
    const std::string at = std::to_string(line) + " 行目";
    switch (failure) {
    case LoadFailure::None:
        return {};
    case LoadFailure::FileNotFound:
        return "ファイルがありません。";
    case LoadFailure::Unreadable:
        return "ファイルを読めません。";
    case LoadFailure::TooFewLines:

        return "33 行が必要ですが、" + std::to_string(linesFound) +
               " 行しかありません。";
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
    }
    return {};
}

LoadResult SettingsFile::load(SearchSetup& setup, const HeadingSink& sink, const std::filesystem::path& path) {
    LineTable lines;
    const ReadOutcome read = readFile(path, lines);
    return finishLoad(read, lines, setup, sink);
}

LoadResult SettingsFile::loadFromBytes(std::string_view bytes, SearchSetup& setup, const HeadingSink& sink) {
    LineTable lines;
    const ReadOutcome read = readBytes(bytes, lines);
    return finishLoad(read, lines, setup, sink);
}

} // namespace velmora
