#include "cli/command_line.h"

#include "search/combination_search.h"
#include "search/number_text.h"
#include "search/run_time_error.h"
#include "setup/settings_file.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

constexpr std::string_view kUsage =
    "usage: velmora-search [--count] [--header] [--reference] [FILE]\n"
    "\n"
    "Finds every combination of the eight terms of the settings file FILE (default: text-2x.ini in the\n"
    "current directory) whose weighted sum equals the target, and prints one line per solution: the sum,\n"
    "then the values of terms 1 to 8, separated by tabs, in UTF-8.\n"
    "\n"
    "  --count      print only the number of solutions\n"
    "  --header     print a first line with the column headings\n"
    "  --reference  use the plain reference enumeration instead of the fast engine\n"
    "  --help       print this text\n"
    "\n"
    "Exit status: 0 done, 1 the settings file could not be loaded, 2 bad usage, 3 run-time error.\n";

struct Options {
    bool count = false;
    bool header = false;
    bool reference = false;
    bool help = false;
    bool hasFile = false;
    std::string file;
};

// Parses the arguments; returns nothing on a usage error.
std::optional<Options> parseArgs(std::span<const std::string> args) {
    Options options;
    bool onlyFiles = false;
    for (const std::string& arg : args) {
        if (!onlyFiles && arg == "--") {
            onlyFiles = true;
        } else if (!onlyFiles && arg == "--count") {
            options.count = true;
        } else if (!onlyFiles && arg == "--header") {
            options.header = true;
        } else if (!onlyFiles && arg == "--reference") {
            options.reference = true;
        } else if (!onlyFiles && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
            return std::nullopt;
        } else if (options.hasFile) {
            return std::nullopt; // one file at most
        } else {
            options.hasFile = true;
            options.file = arg;
        }
    }
    return options;
}

void write(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

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

// Writes rows into a large buffer and hands it to the stream when full: output may run to gigabytes.
class RowWriter final : public SolutionSink {
public:
    explicit RowWriter(std::FILE* out) : m_out(out), m_buffer(kBufferSize) {}
    ~RowWriter() override { flush(); }
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    void accept(std::span<const Solution> solutions) override {
        static const ValueTexts texts;
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
                *p++ = '\t';
                p = texts.write(p, v);
            }
            *p++ = '\n';
            m_used = static_cast<std::size_t>(p - m_buffer.data());
        }
    }

    void flush() {
        if (m_used > 0)
            std::fwrite(m_buffer.data(), 1, m_used, m_out);
        m_used = 0;
    }

private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
    static constexpr std::size_t kMaxRow = 9 * (kMaxNumberText + 1) + 8;

    std::FILE* m_out;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::int32_t m_sum = 0;
    std::array<char, 16> m_sumText{};
    std::size_t m_sumLength = 0;
};

class Counter final : public SolutionSink {
public:
    void accept(std::span<const Solution> solutions) override { m_count += solutions.size(); }
    unsigned __int128 count() const { return m_count; }

private:
    unsigned __int128 m_count = 0;
};

std::string countText(unsigned __int128 n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n != 0);
    return digits;
}

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace

int runCommandLine(std::span<const std::string> args, std::FILE* out, std::FILE* err) {
    const std::optional<Options> options = parseArgs(args);
    if (!options) {
        write(err, kUsage);
        return kExitUsage;
    }
    if (options->help) {
        write(out, kUsage);
        return kExitOk;
    }

    SearchSetup setup;
    const std::filesystem::path path =
        options->hasFile ? pathFromUtf8(options->file) : std::filesystem::path(SettingsFile::kFileName);
    const LoadResult loaded = SettingsFile::load(setup, {}, path);
    if (!loaded.ok()) {
        write(err, std::string(SettingsFile::kFailureMessage) + "\n" + loaded.cause() + "\n");
        return kExitLoadFailed;
    }

    if (options->header) {
        std::string line = "合計";
        for (const TermSpec& term : setup.terms)
            line += "\t" + term.heading;
        write(out, line + "\n");
    }

    const SearchEngine engine = options->reference ? SearchEngine::Reference : SearchEngine::Fast;
    int status = kExitOk;
    if (options->count && engine == SearchEngine::Fast) {
        // Counted without listing: the count of the solutions before any overflow stop, then the error.
        const SearchCount counted = countSolutions(setup);
        if (counted.overflow) {
            write(err, RunTimeError::overflow().report() + "\n");
            status = kExitRunTimeError;
        }
        write(out, counted.solutions.text() + "\n");
    } else if (options->count) {
        Counter counter;
        try {
            combinationSearch(setup, counter, engine);
        } catch (const RunTimeError& error) {
            write(err, error.report() + "\n");
            status = kExitRunTimeError;
        }
        write(out, countText(counter.count()) + "\n");
    } else {
        RowWriter writer(out);
        try {
            combinationSearch(setup, writer, engine);
        } catch (const RunTimeError& error) {
            writer.flush();
            write(err, error.report() + "\n");
            status = kExitRunTimeError;
        }
    }
    std::fflush(out);
    return status;
}

} // namespace velmora
