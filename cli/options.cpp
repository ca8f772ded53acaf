#include "cli/options.h"

#include "cli/messages.h"
#include "setup/settings_file.h"

namespace velmora {

std::string usageText() {
    return tr("usage: velmora-search [--count | --csv] [--header] [--reference] [FILE]\n"
              "       velmora-search --help | --version\n"
              "\n"
              "Finds every combination of the eight terms of the settings file FILE (default: text-2x.ini in the\n"
              "current directory) whose weighted sum equals the target, and prints one line per solution: the sum,\n"
              "then the values of terms 1 to 8, separated by tabs, in UTF-8, each line ended by LF.\n"
              "\n"
              "  --count      print only the number of solutions\n"
              "  --header     print a first line with %s and the eight headings; in a heading, a tab, a\n"
              "               carriage return, a line feed and a backslash are written \\t, \\r, \\n and \\\\\n"
              "  --csv        print the rows as CSV (RFC 4180) for spreadsheets: UTF-8 with a byte-order mark,\n"
              "               lines ended by CR LF, always the header line first, a field holding a comma, a\n"
              "               quote or a line break in quotes (a quote in it doubled)\n"
              "  --reference  use the plain reference enumeration instead of the fast engine\n"
              "  --help       print this text\n"
              "  --version    print the version\n"
              "\n"
              "A line of the settings file may hold at most %s bytes.\n"
              "\n"
              "Exit status: 0 done, 1 the settings file could not be loaded, 2 bad usage, 3 run-time error,\n"
              "4 the output could not be written (the reason goes to standard error and the program stops).\n",
              {"合計", std::to_string(SettingsFile::kMaxLineBytes)});
}

ParsedArguments parseArguments(std::span<const std::string> args) {
    ParsedArguments parsed;
    Options& options = parsed.options;
    bool onlyFiles = false;
    for (const std::string& arg : args) {
        if (!onlyFiles && arg == "--") {
            onlyFiles = true;
        } else if (!onlyFiles && arg == "--count") {
            options.count = true;
        } else if (!onlyFiles && arg == "--header") {
            options.header = true;
        } else if (!onlyFiles && arg == "--csv") {
            options.csv = true;
        } else if (!onlyFiles && arg == "--reference") {
            options.reference = true;
        } else if (!onlyFiles && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!onlyFiles && arg == "--version") {
            options.version = true;
        } else if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
            parsed.error = tr("unrecognized option '%s'", {arg});
            return parsed;
        } else if (options.hasFile) {
            parsed.error = tr("only one FILE may be given");
            return parsed;
        } else {
            options.hasFile = true;
            options.file = arg;
        }
    }
    if (options.count && options.csv)
        parsed.error = tr("--count and --csv cannot be given together");
    return parsed;
}

} // namespace velmora
