// The window's commands over a fake view that records, in order, what they ask of the window: the load
// and its message, Start with the busy pointer, the rows and errors 6 and 7, Reset and Quit.
#include "window/commands/window_commands.h"

#include "search/run_time_error.h"
#include "setup/settings_file.h"
#include "tests/temp_folder.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing_support::CurrentDirectory;
using testing_support::settingsBytes;
using testing_support::TempFolder;
using testing_support::writeFile;

using Log = std::vector<std::string>;

// Records every call as one line of `log`; rowsChanged notes the row count it would show.
class FakeView final : public WindowView {
public:
    Log log;
    const RowStore* rows = nullptr;
    int refusedHeading = 0; // the term whose heading the label refuses, 0 for none
    bool closeRequested = false; // what the queued input held

    bool setHeading(int term, const std::string& text) override {
        log.push_back("heading " + std::to_string(term) + " " + text);
        return term != refusedHeading;
    }
    void showMessage(const std::string& text, const std::string& detail) override {
        log.push_back("message " + text + (detail.empty() ? "" : " / " + detail));
    }
    void setBusy(bool busy) override { log.push_back(busy ? "busy on" : "busy off"); }
    bool discardQueuedInput() override {
        log.push_back(closeRequested ? "discard, close requested" : "discard");
        return closeRequested;
    }
    void rowsChanged() override { log.push_back("rows " + std::to_string(rows->size())); }
    void quit() override { log.push_back("quit"); }
};

// A window: the fake view and the commands over it.
struct Window {
    explicit Window(std::size_t rowLimit = RowStore::kDefaultLimit, WindowCommands::Search search = {})
        : commands(view, rowLimit, std::move(search)) {
        view.rows = &commands.rows();
    }
    FakeView view;
    WindowCommands commands;
};

constexpr std::string_view kFruitHeadings[8] = {
    "\x82\xe8\x82\xf1\x82\xb2", "\x82\xdd\x82\xa9\x82\xf1", "\x83\x6f\x83\x69\x83\x69", "\x82\xd4\x82\xc7\x82\xa4",
    "\x82\xe0\x82\xe0",         "\x83\x81\x83\x8d\x83\x93", "\x82\xa2\x82\xbf\x82\xb2", "\x82\xc8\x82\xb5",
};
const std::string kFruitHeadingsUtf8[8] = {"りんご", "みかん", "バナナ", "ぶどう", "もも", "メロン", "いちご", "なし"};

const std::string kError6 = "message 実行時エラー 6: オーバーフローしました。";
const std::string kError7 = "message 実行時エラー 7: メモリが不足しています。";

// A good file's bytes with line `line` (1-based) replaced by `text`, or dropped when `text` is empty.
std::string settingsWithLine(int line, const std::string& text) {
    const std::string bytes = settingsBytes("10", kFruitHeadings);
    std::string result;
    std::size_t start = 0;
    for (int n = 1; start < bytes.size(); ++n) {
        const std::size_t end = bytes.find("\r\n", start) + 2;
        if (n != line)
            result += bytes.substr(start, end - start);
        else if (!text.empty())
            result += text + "\r\n";
        start = end;
    }
    return result;
}

std::vector<Solution> referenceSolutions(const SearchSetup& setup) {
    struct Collect final : SolutionSink {
        std::vector<Solution> solutions;
        void accept(std::span<const Solution> batch) override {
            solutions.insert(solutions.end(), batch.begin(), batch.end());
        }
    } collect;
    referenceSearch(setup, collect);
    return collect.solutions;
}

std::vector<Solution> rowsOf(const RowStore& store) {
    std::vector<Solution> rows(store.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].sum = store.cell(r, 0);
        for (int k = 1; k <= 8; ++k)
            rows[r].values[std::size_t(k - 1)] = static_cast<std::int16_t>(store.cell(r, k));
    }
    return rows;
}

TEST(WindowCommands, LoadHandsTheHeadingsThenShowsTheMessageWithItsCause) {
    struct Case {
        const char* name;
        std::optional<std::string> file; // nothing: no text-2x.ini in the folder
        int refusedHeading;
        int headingsHanded;
        LoadResult result;
        std::int32_t target;
    };
    const Case cases[] = {
        {"a good file", settingsBytes("10", kFruitHeadings), 0, 8, {}, 10},
        {"no file", std::nullopt, 0, 0, {LoadFailure::FileNotFound, 0, 0}, 0},
        {"32 lines", settingsWithLine(33, ""), 0, 0, {LoadFailure::TooFewLines, 0, 32}, 0},
        {"the target not a number", settingsWithLine(1, "x"), 0, 0, {LoadFailure::NotANumber, 1, 0}, 0},
        {"a label refuses heading 3", settingsBytes("10", kFruitHeadings), 3, 3, {LoadFailure::HeadingRejected, 4, 0},
         10},
        {"the last weight out of range", settingsWithLine(17, "2147483648"), 0, 8, {LoadFailure::OutOfRange, 17, 0},
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder("velmora-commands");
        if (c.file)
            writeFile(folder.path() / "text-2x.ini", *c.file);
        CurrentDirectory inFolder(folder.path());
        Window window;
        window.view.refusedHeading = c.refusedHeading;
        window.commands.Form_Load();

        Log expected;
        for (int k = 1; k <= c.headingsHanded; ++k)
            expected.push_back("heading " + std::to_string(k) + " " + kFruitHeadingsUtf8[k - 1]);
        if (!c.result.ok())
            expected.push_back("message text-2x.iniが見当たりません / " + c.result.cause());
        EXPECT_EQ(window.view.log, expected);
        EXPECT_EQ(window.commands.setup().target, c.target);
        EXPECT_EQ(window.commands.rows().size(), 0u);
    }
}

TEST(WindowCommands, StartAfterAMissingFileFindsOneRowOfZeros) {
    TempFolder folder("velmora-commands");
    CurrentDirectory inFolder(folder.path());
    Window window;
    window.commands.Form_Load();
    window.view.log.clear();
    window.commands.Command1_Click();
    EXPECT_EQ(window.view.log, (Log{"busy on", "rows 1", "discard", "busy off"}));
    EXPECT_EQ(rowsOf(window.commands.rows()), std::vector<Solution>(1));
}

// A stand-in search hands `handed` solutions, two a batch, then throws `error` if any. Solution i has the
// value i for term 1 and the sum 10. Each Start runs it again and each row keeps what it handed. The
// pointer returns before an error is reported, and a close requested during the search ends the program
// once the report is dismissed.
TEST(WindowCommands, StartKeepsTheRowsReportsTheErrorUnderTheDefaultPointerAndHonoursAClose) {
    enum class Throw { Nothing, Overflow, BadAlloc };
    struct Run {
        std::size_t rows;
        const std::string* message;
    };
    struct Case {
        const char* name;
        std::size_t limit;
        int handed;
        Throw error;
        Run first;
        Run second;
        bool close = false; // the user asks to close the window during each search
    };
    const Case cases[] = {
        {"no solution", 100, 0, Throw::Nothing, {0, nullptr}, {0, nullptr}},
        {"five solutions, twice", 100, 5, Throw::Nothing, {5, nullptr}, {10, nullptr}},
        {"five rows fill the limit of five", 5, 5, Throw::Nothing, {5, nullptr}, {5, &kError7}},
        {"a sixth row past the limit of five", 5, 6, Throw::Nothing, {5, &kError7}, {5, &kError7}},
        {"the second Start fills the limit", 8, 5, Throw::Nothing, {5, nullptr}, {8, &kError7}},
        {"overflow after three rows", 100, 3, Throw::Overflow, {3, &kError6}, {6, &kError6}},
        {"overflow before any row", 100, 0, Throw::Overflow, {0, &kError6}, {0, &kError6}},
        {"allocation fails after two rows", 100, 2, Throw::BadAlloc, {2, &kError7}, {4, &kError7}},
        {"closed during a search", 100, 5, Throw::Nothing, {5, nullptr}, {10, nullptr}, true},
        {"closed during a search that overflows", 100, 3, Throw::Overflow, {3, &kError6}, {6, &kError6}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Window* at = nullptr;
        Window window(c.limit, [&](const SearchSetup&, SolutionSink& sink) {
            at->view.log.push_back("search");
            std::vector<Solution> solutions(static_cast<std::size_t>(c.handed));
            for (std::size_t i = 0; i < solutions.size(); ++i) {
                solutions[i].sum = 10;
                solutions[i].values[0] = static_cast<std::int16_t>(i);
            }
            for (std::size_t i = 0; i < solutions.size(); i += 2)
                sink.accept(std::span(solutions).subspan(i, std::min<std::size_t>(2, solutions.size() - i)));
            if (c.error == Throw::Overflow)
                throw RunTimeError::overflow();
            if (c.error == Throw::BadAlloc)
                throw std::bad_alloc();
        });
        at = &window;
        window.view.closeRequested = c.close;
        for (const Run& run : {c.first, c.second}) {
            window.view.log.clear();
            window.commands.Command1_Click();
            Log expected{"busy on", "search", "rows " + std::to_string(run.rows),
                         c.close ? "discard, close requested" : "discard", "busy off"};
            if (run.message)
                expected.push_back(*run.message);
            if (c.close)
                expected.push_back("quit");
            EXPECT_EQ(window.view.log, expected);
            const RowStore& rows = window.commands.rows();
            ASSERT_EQ(rows.size(), run.rows);
            for (std::size_t r = 0; r < rows.size(); ++r) {
                EXPECT_EQ(rows.cell(r, 0), 10);
                EXPECT_EQ(rows.cell(r, 1), static_cast<std::int32_t>(r % static_cast<std::size_t>(c.handed)));
            }
        }
    }
}

// Start twice shows every solution twice, in search order; Reset empties the lists (also when empty) and
// keeps the setup, so Start then shows the same rows again; Quit only ends the program.
TEST(WindowCommands, StartTwiceResetAndQuit) {
    TempFolder folder("velmora-commands");
    writeFile(folder.path() / "text-2x.ini", settingsBytes("10", kFruitHeadings));
    CurrentDirectory inFolder(folder.path());
    Window window;
    window.commands.Form_Load();
    const std::vector<Solution> once = referenceSolutions(window.commands.setup());
    ASSERT_GE(once.size(), 5u);

    window.view.log.clear();
    window.commands.Command3_Click();
    EXPECT_EQ(window.view.log, Log{"rows 0"});

    window.commands.Command1_Click();
    window.commands.Command1_Click();
    std::vector<Solution> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(rowsOf(window.commands.rows()), twice);

    window.view.log.clear();
    window.commands.Command3_Click();
    EXPECT_EQ(window.view.log, Log{"rows 0"});
    EXPECT_EQ(window.commands.rows().size(), 0u);
    EXPECT_EQ(window.commands.setup().target, 10);
    EXPECT_EQ(window.commands.setup().term(1).heading, kFruitHeadingsUtf8[0]);
    window.commands.Command1_Click();
    EXPECT_EQ(rowsOf(window.commands.rows()), once);

    window.view.log.clear();
    window.commands.Command2_Click();
    EXPECT_EQ(window.view.log, Log{"quit"});
    EXPECT_EQ(window.commands.rows().size(), once.size());
}

TEST(WindowCommands, HoldWhatThisMachinesMemoryHoldsUnlessTold) {
    FakeView view;
    EXPECT_EQ(WindowCommands(view).rows().limit(), machineRowLimit());
    EXPECT_EQ(WindowCommands(view, 5).rows().limit(), 5u);
}

} // namespace
} // namespace velmora
