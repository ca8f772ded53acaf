#include "setup/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace velmora {
namespace {

struct Split {
    SettingsLines lines;
    LineSplitter::State state = LineSplitter::State::NeedMore;
    int count = 0;
    LineEnds lineEnds = LineEnds::Cr;
    bool loneLf = false;
};

// Feeds `bytes` in chunks of `chunk` bytes (0: all at once), then ends the file.
Split split(std::string_view bytes, std::size_t chunk = 0) {
    Split s;
    LineSplitter splitter(s.lines);
    const std::size_t step = chunk == 0 ? bytes.size() : chunk;
    for (std::size_t at = 0; at < bytes.size() && splitter.state() == LineSplitter::State::NeedMore; at += step)
        splitter.feed(bytes.substr(at, step));
    if (splitter.state() == LineSplitter::State::NeedMore)
        splitter.finish();
    s.state = splitter.state();
    s.count = splitter.count();
    s.lineEnds = splitter.lineEnds();
    s.loneLf = splitter.loneLineFeedInLines();
    return s;
}

std::string lines(int count, std::string_view end) {
    std::string bytes;
    for (int i = 1; i <= count; ++i)
        bytes += std::to_string(i) + std::string(end);
    return bytes;
}

// Where the file's rule is settled (the first CR, the 33rd LF, or the end of the file) and how it reads,
// the same whether the bytes come at once or one at a time, a CR LF cut between two chunks included.
TEST(LineSplitter, SettlesTheLineEndsTheSameWhateverTheChunks) {
    struct Case {
        const char* name;
        std::string bytes;
        int count;
        LineEnds lineEnds;
        bool loneLf;
        std::string_view line1;
        std::string_view line2;
    };
    const Case cases[] = {
        {"CR LF", lines(33, "\r\n"), 33, LineEnds::Cr, false, "1", "2"},
        {"CR", lines(33, "\r"), 33, LineEnds::Cr, false, "1", "2"},
        {"LF", lines(33, "\n"), 33, LineEnds::Lf, false, "1", "2"},
        {"LF, then CR LF after line 33", lines(33, "\n") + "x\r\n", 33, LineEnds::Lf, false, "1", "2"},
        {"LF, the first CR after line 3: lines 1 to 3 are line 1", "1\n2\n3\r\n4\n5\r\n", 2, LineEnds::Cr, true,
         "1\n2\n3", "4\n5"},
        {"LF, a CR straight after an LF: line 1 ends in an LF", "1\n\r\n2\r\n", 2, LineEnds::Cr, true, "1\n", "2"},
        {"LF, a last line without a line end", "1\n2", 2, LineEnds::Lf, false, "1", "2"},
        {"no line end at all", "1500", 1, LineEnds::Cr, false, "1500", ""},
        {"empty lines by LF", "\n\n", 2, LineEnds::Lf, false, "", ""},
        {"empty", "", 0, LineEnds::Cr, false, "", ""},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
            SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(chunk));
            const Split s = split(c.bytes, chunk);
            EXPECT_EQ(s.count, c.count);
            EXPECT_EQ(s.lineEnds, c.lineEnds);
            EXPECT_EQ(s.loneLf, c.loneLf);
            EXPECT_EQ(s.lines[0], c.line1);
            EXPECT_EQ(s.lines[1], c.line2);
        }
    }
}

// The line limit under both rules: an LF-ended line over it fails at that line; lines cut at LF that a
// later CR joins into a line 1 over the limit fail at line 1, as the CR rule reads them.
TEST(LineSplitter, LineLimitUnderBothRules) {
    const std::size_t max = SettingsFile::kMaxLineBytes;
    const std::string third(max / 3 + 1, 'x'); // three of them, with their LFs, exceed the limit
    struct Case {
        const char* name;
        std::string bytes;
        LineSplitter::State state;
        int count;
    };
    const Case cases[] = {
        {"LF, a line of the limit", "1\n" + std::string(max, 'x') + "\n", LineSplitter::State::NeedMore, 2},
        {"LF, a line over it", "1\n" + std::string(max + 1, 'x') + "\n", LineSplitter::State::LineTooLong, 1},
        {"LF, three long lines", third + "\n" + third + "\n" + third + "\n", LineSplitter::State::NeedMore, 3},
        {"the same, then a CR", third + "\n" + third + "\n" + third + "\r\n", LineSplitter::State::LineTooLong, 0},
        {"LF lines joined to the limit by a CR", std::string(max - 2, 'x') + "\n\n\r", LineSplitter::State::NeedMore,
         1},
        {"LF lines joined to one byte over it", std::string(max - 1, 'x') + "\n\n\r", LineSplitter::State::LineTooLong,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Split s = split(c.bytes, 64 * 1024);
        EXPECT_EQ(s.state, c.state);
        EXPECT_EQ(s.count, c.count);
        if (c.state == LineSplitter::State::NeedMore) {
            EXPECT_LE(s.lines[0].size(), max);
        }
    }
}

} // namespace
} // namespace velmora
