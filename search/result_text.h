#pragma once

#include "search/byte_sink.h"
#include "search/combination_search.h"
#include "setup/search_setup.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

/// How the results are written as text, by velmora-search and by the window's CSV save alike: the sum and
/// the eight values of each solution, after an optional header line of 合計 and the eight headings.
enum class RowFormat {
    Tabs, ///< fields separated by TAB, lines ended by LF; in headings TAB, CR, LF and \ are escaped
    Csv,  ///< RFC 4180: a byte-order mark, fields separated by commas, lines ended by CR LF, quoting
};

/// Writes the header line. For CSV it starts the output with the UTF-8 byte-order mark that tells a
/// spreadsheet the encoding. A heading is written piece by piece, never copied whole.
void writeHeader(ByteSink& out, const SearchSetup& setup, RowFormat format);

/// Writes rows into a large buffer and hands it to the output when full: a listing may run to gigabytes.
/// A failed write throws out of accept() (the sink's error), which stops the search.
class RowWriter final : public SolutionSink {
public:
    RowWriter(ByteSink& out, RowFormat format);

    void accept(std::span<const Solution> solutions) override;
    void idle() override {
        if (m_used > 0)
            flush();
        m_out.idle();
    }
    /// Writes the rows still in the buffer; call it before reporting anything else.
    void flush();

private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    ByteSink& m_out;
    char m_separator;
    bool m_crLf;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::int32_t m_sum = 0;
    std::array<char, 16> m_sumText{};
    std::size_t m_sumLength = 0;
};

} // namespace velmora
