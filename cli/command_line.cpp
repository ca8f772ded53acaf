#include "cli/command_line.h"

#include "cli/checked_output.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/text_output.h"
#include "search/combination_search.h"
#include "search/result_text.h"
#include "search/run_time_error.h"
#include "setup/settings_file.h"

#include "velmora_version.h"

#include <filesystem>
#include <string_view>

namespace velmora {
namespace {

// For reports on the error stream, whose own failures have nowhere to go.
void report(std::FILE* stream, std::string_view text) { writeText(stream, text); }

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

// Prints the count, or the rows, of the loaded setup; returns kExitOk or kExitRunTimeError.
int search(const Options& options, const SearchSetup& setup, CheckedOutput& out, std::FILE* err) {
    const SearchEngine engine = options.reference ? SearchEngine::Reference : SearchEngine::Fast;
    if (options.count && engine == SearchEngine::Fast) {
        // Counted without listing: the count of the solutions before any overflow stop, then the error.
        const SearchCount counted = countSolutions(setup);
        if (counted.overflow)
            report(err, RunTimeError::overflow().report() + "\n");
        out.write(counted.solutions.text() + "\n");
        return counted.overflow ? kExitRunTimeError : kExitOk;
    }
    if (options.count) {
        Counter counter;
        int status = kExitOk;
        try {
            combinationSearch(setup, counter, engine);
        } catch (const RunTimeError& error) {
            report(err, error.report() + "\n");
            status = kExitRunTimeError;
        }
        out.write(countText(counter.count()) + "\n");
        return status;
    }

    const RowFormat format = options.csv ? RowFormat::Csv : RowFormat::Tabs;
    if (options.header || options.csv)
        writeHeader(out, setup, format);
    RowWriter writer(out, format);
    try {
        combinationSearch(setup, writer, engine);
    } catch (const RunTimeError& error) {
        writer.flush(); // the rows before the error come first
        out.flush();
        report(err, error.report() + "\n");
        return kExitRunTimeError;
    }
    writer.flush();
    return kExitOk;
}

} // namespace

int runCommandLine(std::span<const std::string> args, std::FILE* out, std::FILE* err) {
    const ParsedArguments parsed = parseArguments(args);
    if (!parsed.error.empty()) {
        report(err, "velmora-search: " + parsed.error + "\n" + tr("Try 'velmora-search --help'") + "\n");
        return kExitUsage;
    }
    const Options& options = parsed.options;
    CheckedOutput output(out);
    try {
        if (options.help || options.version) {
            output.write(options.help ? usageText() : tr("velmora-search %s", {VELMORA_VERSION}) + "\n");
            output.flush();
            return kExitOk;
        }

        SearchSetup setup;
        const std::filesystem::path path =
            options.hasFile ? pathFromUtf8(options.file) : std::filesystem::path(SettingsFile::kFileName);
        const LoadResult loaded = SettingsFile::load(setup, {}, path);
        if (!loaded.ok()) {
            report(err, std::string(SettingsFile::kFailureMessage) + "\n" +
                            loaded.cause(options.hasFile ? options.file : std::string()) + "\n");
            return kExitLoadFailed;
        }
        const int status = search(options, setup, output, err);
        output.flush();
        return status;
    } catch (const WriteError& error) {
        report(err, writeErrorReport(error.what()) + "\n");
        return kExitWriteError;
    }
}

} // namespace velmora
