// Feeds arbitrary bytes to the settings loader. Whatever the bytes, the load must return (no crash, no
// hang), and its outcome must agree with what it left in the setup. The line splitter must cut the same
// lines whether the bytes come at once or in small chunks, as they do from a pipe.
#include "setup/line_splitter.h"
#include "setup/settings_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

struct Split {
    velmora::SettingsLines lines;
    velmora::LineSplitter::State state;
    int count;
    velmora::LineEnds lineEnds;
    bool loneLf;
};

Split split(std::string_view bytes, std::size_t chunk) {
    Split s{};
    velmora::LineSplitter splitter(s.lines);
    for (std::size_t at = 0; at < bytes.size() && splitter.state() == velmora::LineSplitter::State::NeedMore;
         at += chunk)
        splitter.feed(bytes.substr(at, chunk));
    if (splitter.state() == velmora::LineSplitter::State::NeedMore)
        splitter.finish();
    s.state = splitter.state();
    s.count = splitter.count();
    s.lineEnds = splitter.lineEnds();
    s.loneLf = splitter.loneLineFeedInLines();
    return s;
}

void checkChunks(std::string_view bytes) {
    if (bytes.empty())
        return;
    const Split whole = split(bytes, bytes.size());
    const Split chunked = split(bytes, 1 + static_cast<unsigned char>(bytes[0]) % 5);
    if (whole.state != chunked.state || whole.count != chunked.count || whole.lineEnds != chunked.lineEnds ||
        whole.loneLf != chunked.loneLf || whole.lines != chunked.lines)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkChunks(std::string_view(reinterpret_cast<const char*>(data), size));
    velmora::SearchSetup setup;
    int headings = 0;
    const velmora::LoadResult result = velmora::SettingsFile::loadFromBytes(
        std::string_view(reinterpret_cast<const char*>(data), size), setup, [&](int term, const std::string&) {
            if (term != headings + 1)
                std::abort(); // headings must arrive in order, once each
            ++headings;
            return true;
        });
    if (result.ok() != (result.failure == velmora::LoadFailure::None))
        std::abort();
    if (result.ok() && headings != 8)
        std::abort();
    if (!result.ok() && result.cause().empty())
        std::abort();
    // Headings are handed on only after every line was read and the target converted, and all eight
    // before any weight: a failure from line 10 on comes after all of them, an earlier one before any.
    // A line over the limit fails while reading, before any heading.
    const bool whileReading = result.failure == velmora::LoadFailure::LineTooLong;
    if (!result.ok() && result.failure != velmora::LoadFailure::OutOfMemory &&
        headings != (result.line >= 10 && !whileReading ? 8 : 0))
        std::abort();
    return 0;
}
