#include "search/result_text.h"

#include "search/number_text.h"

#include <cstring>
#include <string_view>

namespace velmora {
namespace {

// The text of every 16-bit value, made once: a row is then nine short copies instead of digit loops,
// which keeps the writer well ahead of the engine.
class ValueTexts {
public:
    ValueTexts() {
        for (std::int32_t v = -32768; v <= 32767; ++v) {
            const auto i = static_cast<std::size_t>(v + 32768);
            m_length[i] = static_cast<std::uint8_t>(writeNumberText(m_text[i].data(), v) - m_text[i].data());
        }
    }
    // Copies a fixed 8 bytes (the writer leaves room for them) and returns the end of the text.
    char* write(char* out, std::int16_t value) const {
        const auto i = static_cast<std::size_t>(value + 32768);
        std::memcpy(out, m_text[i].data(), 8);
        return out + m_length[i];
    }

private:
    std::array<std::array<char, 8>, 65536> m_text{};
    std::array<std::uint8_t, 65536> m_length{};
};

// A row: nine numbers with their separators, a line end, and the 8 bytes a value copy may write.
constexpr std::size_t kMaxRow = 9 * (kMaxNumberText + 1) + 2 + 8;

// One record per line: the characters that would end or split it, and the escape character itself.
void writeEscaped(ByteSink& out, std::string_view text) {
    for (;;) {
        const std::size_t special = text.find_first_of("\t\r\n\\");
        out.write(text.substr(0, special));
        if (special == std::string_view::npos)
            return;
        switch (text[special]) {
        case '\t':
            out.write("\\t");
            break;
        case '\r':
            out.write("\\r");
            break;
        case '\n':
            out.write("\\n");
            break;
        default:
            out.write("\\\\");
            break;
        }
        text.remove_prefix(special + 1);
    }
}

// RFC 4180: a field holding a comma, a quote or a line break goes in quotes, each quote in it doubled.
void writeCsvField(ByteSink& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.write(text);
        return;
    }
    out.write("\"");
    for (;;) {
        const std::size_t quote = text.find('"');
        out.write(text.substr(0, quote));
        if (quote == std::string_view::npos)
            break;
        out.write("\"\"");
        text.remove_prefix(quote + 1);
    }
    out.write("\"");
}

} // namespace

void writeHeader(ByteSink& out, const SearchSetup& setup, RowFormat format) {
    if (format == RowFormat::Csv) {
        out.write("\xEF\xBB\xBF"
                  "合計");
        for (const TermSpec& term : setup.terms) {
            out.write(",");
            writeCsvField(out, term.heading);
        }
        out.write("\r\n");
        return;
    }
    out.write("合計");
    for (const TermSpec& term : setup.terms) {
        out.write("\t");
        writeEscaped(out, term.heading);
    }
    out.write("\n");
}

RowWriter::RowWriter(ByteSink& out, RowFormat format)
    : m_out(out), m_separator(format == RowFormat::Csv ? ',' : '\t'), m_crLf(format == RowFormat::Csv),
      m_buffer(kBufferSize) {}

void RowWriter::accept(std::span<const Solution> solutions) {
    static const ValueTexts texts;
    // Locals, not members: the row's bytes are written through a char pointer, which may alias any member
    // and would make the compiler reload each one for every value.
    const char separator = m_separator;
    const bool crLf = m_crLf;
    for (const Solution& s : solutions) {
        if (kBufferSize - m_used < kMaxRow)
            flush();
        if (s.sum != m_sum || m_sumLength == 0) { // every solution of a run has the same sum
            m_sum = s.sum;
            m_sumLength = static_cast<std::size_t>(writeNumberText(m_sumText.data(), s.sum) - m_sumText.data());
        }
        char* p = m_buffer.data() + m_used;
        std::memcpy(p, m_sumText.data(), m_sumText.size());
        p += m_sumLength;
        for (std::int16_t v : s.values) {
            *p++ = separator;
            p = texts.write(p, v);
        }
        if (crLf)
            *p++ = '\r';
        *p++ = '\n';
        m_used = static_cast<std::size_t>(p - m_buffer.data());
    }
}

void RowWriter::flush() {
    const std::size_t used = m_used;
    m_used = 0; // after a failed write the rows are dropped, not written again
    m_out.write(std::string_view(m_buffer.data(), used));
}

} // namespace velmora
