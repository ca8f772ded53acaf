// Rows leaving the window: the clipboard's texts, the limit of a sheet, the CSV saved byte for byte as
// velmora-search --csv writes it, and saves that fail leaving the old file whole.
#include "window/commands/row_export.h"

#include "tests/cli/command_run.h"
#include "tests/temp_folder.h"
#include "window/commands/safe_file.h"
#include "window/commands/window_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

// Both views of a window, recording in order what the commands ask of it.
class FakeView final : public WindowView, public ExportView {
public:
    std::vector<std::string> log;
    std::string clipboard;
    std::optional<fs::path> savePath;

    bool setHeading(int, const std::string&) override { return true; }
    void showMessage(const std::string& text, const std::string& detail) override {
        log.push_back("message " + text + " / " + detail);
    }
    void setBusy(bool busy) override { log.push_back(busy ? "busy on" : "busy off"); }
    bool discardQueuedInput() override {
        log.push_back("discard");
        return false;
    }
    void rowsChanged() override {}
    void quit() override {}
    std::string putOnClipboard(const ClipboardText& text) override {
        clipboard = text.head();
        clipboard.reserve(text.head().size() + text.rowsLength());
        text.writeRows([&](std::string_view piece) { clipboard += piece; });
        log.push_back("clipboard");
        return {};
    }
    std::optional<fs::path> askSavePath() override {
        log.push_back("ask");
        return savePath;
    }
};

// A window whose Start appends `rows` rows (row r: sum r, values r % 7 - 3 ...), or the given solutions.
struct Window {
    explicit Window(std::vector<Solution> solutions)
        : commands(view, RowStore::kDefaultLimit,
                   [solutions](const SearchSetup&, SolutionSink& sink) { sink.accept(solutions); }) {}
    explicit Window(std::size_t rows)
        : commands(view, RowStore::kDefaultLimit, [rows](const SearchSetup&, SolutionSink& sink) {
              std::vector<Solution> batch(rows);
              for (std::size_t r = 0; r < rows; ++r)
                  batch[r] = Solution{1500, {static_cast<std::int16_t>(r % 7), 0, 0, 0, 0, 0, 0, 1}};
              sink.accept(batch);
          }) {}
    Window() : commands(view) {}
    FakeView view;
    WindowCommands commands;
    RowExport rowExport{view, commands};
};

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(utf8FromPath(entry.path().filename()));
    std::ranges::sort(names);
    return names;
}

TEST(RowExport, CopiesTheSelectedRowAsNineTabSeparatedCellsAndNothingWithoutASelection) {
    const std::vector<Solution> rows = {
        {1500, {3, 2, 1, 4, 0, 0, 0, 0}},
        {INT_MIN, {-32768, 32767, -1, 0, 10, -10, 9, 100}},
        {INT_MAX, {0, 0, 0, 0, 0, 0, 0, -7}}, // a block whose sums differ
    };
    const std::string texts[] = {
        "1500\t3\t2\t1\t4\t0\t0\t0\t0\r\n",
        "-2147483648\t-32768\t32767\t-1\t0\t10\t-10\t9\t100\r\n",
        "2147483647\t0\t0\t0\t0\t0\t0\t0\t-7\r\n",
    };
    Window window(rows);
    window.commands.Command1_Click();
    window.view.log.clear();
    for (int row = 0; row < 3; ++row) {
        window.rowExport.copyRow(row);
        EXPECT_EQ(window.view.clipboard, texts[row]) << "row " << row;
    }
    EXPECT_EQ(window.view.log, std::vector<std::string>(3, "clipboard"));
    window.view.clipboard = "kept";
    window.rowExport.copyRow(-1);
    window.rowExport.copyRow(3);
    EXPECT_EQ(window.view.clipboard, "kept");
    EXPECT_EQ(window.view.log.size(), 3u);

    window.rowExport.copyAllRows();
    EXPECT_EQ(window.view.clipboard, "合計\t\t\t\t\t\t\t\t\r\n" + texts[0] + texts[1] + texts[2]);
    EXPECT_EQ(ClipboardText::allRows(window.commands.setup(), window.commands.rows()).text(), window.view.clipboard);
}

// Pasted into a spreadsheet, each heading stays one cell: tabs, line breaks and quotes are quoted, a comma
// and an ampersand are plain text there. The headings are written as the settings file holds them.
TEST(RowExport, HeadingRowKeepsEveryAwkwardHeadingInOneCell) {
    const struct {
        std::string heading;
        std::string cell;
    } cases[8] = {
        {"a\tb", "\"a\tb\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"1,5", "1,5"},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r\nlf", "\"cr\r\nlf\""},
        {"R&&D &Apple", "R&&D &Apple"},
        {"", ""},
        {"りんご", "りんご"},
    };
    SearchSetup setup;
    std::string expected = "合計";
    for (int k = 0; k < 8; ++k) {
        setup.terms[static_cast<std::size_t>(k)].heading = cases[k].heading;
        expected += "\t" + cases[k].cell;
    }
    const RowStore empty;
    EXPECT_EQ(ClipboardText::allRows(setup, empty).text(), expected + "\r\n");
}

// A sheet holds 1,048,576 rows; the heading row takes one, so 1,048,575 rows are copied and one more is
// refused with a message that points to the CSV save. Nothing is copied from empty lists.
TEST(RowExport, CopiesAllRowsThatFitOneSheetWithItsHeadingRowAndNoMore) {
    static_assert(fitsInSpreadsheet(kSpreadsheetRows - 1) && !fitsInSpreadsheet(kSpreadsheetRows));
    Window fits(kSpreadsheetRows - 1);
    fits.commands.Command1_Click();
    fits.view.log.clear();
    fits.rowExport.copyAllRows();
    EXPECT_EQ(fits.view.log, (std::vector<std::string>{"busy on", "clipboard", "discard", "busy off"}));
    EXPECT_EQ(std::ranges::count(fits.view.clipboard, '\n'), static_cast<long>(kSpreadsheetRows));
    EXPECT_TRUE(fits.view.clipboard.ends_with("\n1500\t" + std::to_string((kSpreadsheetRows - 2) % 7) +
                                              "\t0\t0\t0\t0\t0\t0\t1\r\n"));

    Window tooMany(kSpreadsheetRows);
    tooMany.commands.Command1_Click();
    tooMany.view.log.clear();
    tooMany.rowExport.copyAllRows();
    ASSERT_EQ(tooMany.view.log.size(), 1u);
    EXPECT_EQ(tooMany.view.log[0],
              "message 行が多すぎるため、コピーしませんでした。 / 結果は 1,048,576 行あり、見出しの "
              "1 行と合わせると、Excel の 1 枚のシートに入る 1,048,576 行を超えます。\nメニューの「"
              "CSV で保存」でファイルに保存してください。");
    EXPECT_TRUE(tooMany.view.clipboard.empty());

    Window empty;
    empty.rowExport.copyAllRows();
    empty.rowExport.saveCsv();
    EXPECT_FALSE(empty.rowExport.hasRows());
    EXPECT_TRUE(empty.view.log.empty());
}

// The window's save and velmora-search --csv share one writer: the same settings give the same bytes,
// awkward headings (tab, quote, comma, line feed, ampersand) and Japanese included.
TEST(RowExport, SavesExactlyWhatTheCommandLineWritesAsCsv) {
    const std::string_view headings[8] = {"a\tb", "say \"hi\"", "1,5", "two\nlines", "R&D", "\x82\xe8\x82\xf1\x82\xb2",
                                          "",     "x"};
    for (const std::string& settings :
         {settingsBytes("10", headings), readFile(fs::path(VELMORA_SOURCE_DIR) / "examples/text-2x.ini")}) {
        TempFolder folder("velmora-csv");
        writeFile(folder.path() / "text-2x.ini", settings);
        const CommandRun cli = runCommand({"--csv", utf8FromPath(folder.path() / "text-2x.ini")});
        ASSERT_EQ(cli.status, 0) << cli.err;

        Window window;
        {
            CurrentDirectory here(folder.path());
            window.commands.Form_Load();
        }
        window.commands.Command1_Click();
        ASSERT_GT(window.commands.rows().size(), 0u);
        window.view.savePath = folder.path() / pathFromUtf8("結果.csv");
        window.view.log.clear();
        window.rowExport.saveCsv();
        EXPECT_EQ(window.view.log, (std::vector<std::string>{"ask", "busy on", "discard", "busy off"}));
        EXPECT_EQ(readFile(*window.view.savePath), cli.out);
    }
}

// A save that fails for any reason leaves the old file whole and no temporary file behind, and says why.
TEST(RowExport, FailedSaveLeavesTheOldFileWholeAndNothingElse) {
    TempFolder folder("velmora-save");
    const fs::path old = folder.path() / "old.csv";
    fs::create_directory(folder.path() / "folder");
    const std::string big(3 << 20, 'x'); // beyond the sink's buffer: the system sees writes before the end
    const struct {
        const char* name;
        fs::path target;
        bool failsWriting; // on POSIX, the file grows past its size limit
    } cases[] = {
        {"the target is a folder", folder.path() / "folder", false},
        {"its folder is missing", folder.path() / "missing" / "x.csv", false},
        {"its name is too long", folder.path() / (std::string(300, 'a') + ".csv"), false},
#ifndef _WIN32
        {"the disk takes no more", old, true},
#endif
    };
    for (const auto& c : cases) {
        writeFile(old, "old bytes\r\n");
        std::string reason;
#ifndef _WIN32
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        if (c.failsWriting) {
            rlimit small = saved;
            small.rlim_cur = 1 << 20;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        reason = writeFileWhole(c.target, [&](ByteSink& out) { out.write(big); });
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
#else
        reason = writeFileWhole(c.target, [&](ByteSink& out) { out.write(big); });
#endif
        EXPECT_FALSE(reason.empty()) << c.name;
        EXPECT_EQ(readFile(old), "old bytes\r\n") << c.name;
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"folder", "old.csv"})) << c.name;
        EXPECT_TRUE(fs::is_empty(folder.path() / "folder")) << c.name;
    }
    // A writer that throws leaves the same; one that finishes replaces the old file.
    EXPECT_THROW(writeFileWhole(old,
                                [&](ByteSink& out) {
                                    out.write(big);
                                    throw std::runtime_error("stop");
                                }),
                 std::runtime_error);
    EXPECT_EQ(readFile(old), "old bytes\r\n");
    EXPECT_EQ(writeFileWhole(old,
                             [&](ByteSink& out) {
                                 out.write("new");
                                 out.write(big);
                             }),
              "");
    EXPECT_EQ(readFile(old), "new" + big);
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"folder", "old.csv"}));
#ifndef _WIN32
    // Through a symbolic link the file it names is replaced and keeps its mode; the link stays a link.
    fs::permissions(old, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("old.csv", folder.path() / "link.csv");
    EXPECT_EQ(writeFileWhole(folder.path() / "link.csv", [](ByteSink& out) { out.write("linked"); }), "");
    EXPECT_TRUE(fs::is_symlink(folder.path() / "link.csv"));
    EXPECT_EQ(readFile(old), "linked");
    EXPECT_EQ(fs::status(old).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(folder.path() / "link.csv");
#endif

    // Through the menu's command: the message names the file and the system's reason; the rows stay.
    Window window(3);
    window.commands.Command1_Click();
    window.view.savePath = folder.path() / "folder";
    window.view.log.clear();
    window.rowExport.saveCsv();
    ASSERT_EQ(window.view.log.size(), 5u);
    EXPECT_EQ(window.view.log[4].rfind("message 「folder」を保存できませんでした。 / ", 0), 0u) << window.view.log[4];
    EXPECT_EQ(window.commands.rows().size(), 3u);
}

} // namespace
} // namespace velmora
