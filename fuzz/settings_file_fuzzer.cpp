// Feeds arbitrary bytes to the settings loader. Whatever the bytes, the load must return (no crash, no
// hang), and its outcome must agree with what it left in the setup.
#include "setup/settings_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
