// The commands: Start appends every solution as a row under the busy pointer and never clears, Reset
// empties the lists, a run-time error is reported while the rows found stay, and the window takes no
// input while a search runs.

#include "search/run_time_error.h"
#include "search/number_text.h"
#include "window/qt/heading_label.h"
#include "window/qt/result_list.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QMouseEvent>

#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Collect final : SolutionSink {
    std::vector<Solution> solutions;
    void accept(std::span<const Solution> batch) override { solutions.insert(solutions.end(), batch.begin(), batch.end()); }
};

QByteArrayList exampleLines() {
    return settingsLines(1500, fruitHeadingBytes(), {98, 128, 158, 198, 248, 298, 398, 498},
                         QList<QPair<int, int>>(8, {0, 5}));
}

// Term 1 over 0..2 with weight 0, term 2 over 0..2 with weight 2^30, target 0: three solutions while
// term 2 is 0, none while it is 1, and the product overflows when it reaches 2.
QByteArrayList overflowLines() {
    QList<QPair<int, int>> ranges(8, {0, 0});
    ranges[0] = {0, 2};
    ranges[1] = {0, 2};
    QList<int> weights(8, 0);
    weights[1] = 1 << 30;
    return settingsLines(0, fruitHeadingBytes(), weights, ranges);
}

ResultList* list(const Velm& window, int n) { return window.findChild<ResultList*>(QStringLiteral("List%1").arg(n)); }

// Every list holds `count` items, and row r of the lists shows solutions[r].
void verifyRows(const Velm& window, const std::vector<Solution>& solutions) {
    for (int n = 1; n <= 9; ++n)
        QCOMPARE(list(window, n)->rowCount(), int(solutions.size()));
    for (std::size_t r = 0; r < solutions.size(); ++r) {
        QCOMPARE(list(window, 1)->itemText(int(r)), QString::fromStdString(numberText(solutions[r].sum)));
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(list(window, k + 1)->itemText(int(r)),
                     QString::fromStdString(numberText(solutions[r].values[std::size_t(k - 1)])));
    }
}

struct Shown {
    TempCurrentDir dir;
    std::unique_ptr<Velm> window;
    std::unique_ptr<ModalAnswerer> answerer;

    explicit Shown(const QByteArrayList& lines, std::size_t rowLimit = RowStore::kDefaultLimit, Velm::Search search = {}) {
        if (!lines.isEmpty())
            dir.writeSettings(lines);
        window = std::make_unique<Velm>(rowLimit, std::move(search));
        answerer = std::make_unique<ModalAnswerer>(window.get());
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("window not exposed");
    }
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void startAfterAMissingFileFindsOneRowOfZeros() {
        Shown s({});
        QCOMPARE(s.answerer->seen.size(), 1); // the loader's message
        s.window->Command1_Click();
        for (int n = 1; n <= 9; ++n) {
            QCOMPARE(list(*s.window, n)->rowCount(), 1);
            QCOMPARE(list(*s.window, n)->itemText(0), QStringLiteral("0"));
        }
        QCOMPARE(s.answerer->seen.size(), 1);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void startShowsEverySolutionInSearchOrder() {
        Shown s(exampleLines());
        s.window->Command1_Click();
        Collect expected;
        referenceSearch(s.window->setup(), expected);
        QVERIFY(expected.solutions.size() > 20);
        verifyRows(*s.window, expected.solutions);
    }

    void startByClickingTheButton() {
        Shown s(exampleLines());
        QTest::mouseClick(s.window->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        Collect expected;
        referenceSearch(s.window->setup(), expected);
        verifyRows(*s.window, expected.solutions);
    }

    void startTwiceAppendsTheRowsAgain() {
        Shown s(exampleLines());
        Collect once;
        referenceSearch(s.window->setup(), once);
        s.window->Command1_Click();
        s.window->Command1_Click();
        std::vector<Solution> twice = once.solutions;
        twice.insert(twice.end(), once.solutions.begin(), once.solutions.end());
        verifyRows(*s.window, twice);
    }

    void pointerIsBusyDuringTheSearchAndDefaultAfter() {
        std::optional<Qt::CursorShape> during;
        Shown s(exampleLines(), RowStore::kDefaultLimit, [&](const SearchSetup& setup, SolutionSink& sink) {
            if (const QCursor* cursor = QGuiApplication::overrideCursor())
                during = cursor->shape();
            combinationSearch(setup, sink);
        });
        s.window->Command1_Click();
        QCOMPARE(during, std::optional(Qt::WaitCursor));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void startWithNoSolutionLeavesTheListsAsTheyWere() {
        QByteArrayList lines = exampleLines();
        lines[0] = "1"; // not reachable: every weight is at least 98
        Shown s(lines);
        s.window->Command1_Click();
        QCOMPARE(s.window->resultColumns().rowCount(), std::size_t{0});
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(s.answerer->seen.isEmpty());
    }

    void resetEmptiesAllNineListsAndKeepsTheSetup() {
        Shown s(exampleLines());
        s.window->Command3_Click(); // on empty lists: nothing happens
        QCOMPARE(s.window->resultColumns().rowCount(), std::size_t{0});
        s.window->Command1_Click();
        Collect expected;
        referenceSearch(s.window->setup(), expected);
        list(*s.window, 4)->setCurrentRow(3);
        QTest::mouseClick(s.window->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(list(*s.window, n)->rowCount(), 0);
        QCOMPARE(list(*s.window, 4)->currentRow(), -1);
        QCOMPARE(s.window->setup().target, 1500);
        QCOMPARE(s.window->findChild<HeadingLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("りんご"));
        s.window->Command1_Click(); // the same rows again, from the same setup
        verifyRows(*s.window, expected.solutions);
        QVERIFY(s.answerer->seen.isEmpty());
    }

    void overflowIsReportedAndTheRowsStay() {
        Shown s(overflowLines());
        s.window->Command1_Click();
        QCOMPARE(s.answerer->seen.size(), 1);
        const SeenBox& box = s.answerer->seen.first();
        QCOMPARE(box.title, QStringLiteral("velmora"));
        QCOMPARE(box.text, QStringLiteral("実行時エラー 6: オーバーフローしました。"));
        QCOMPARE(box.buttonCount, 1);
        QVERIFY(box.hasOk);
        QCOMPARE(box.cursor, std::optional(Qt::WaitCursor)); // the pointer returns only after the report
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(s.window->isVisible());
        QCOMPARE(list(*s.window, 2)->rowCount(), 3);
        QCOMPARE(list(*s.window, 2)->itemText(2), QStringLiteral("2"));
        QCOMPARE(list(*s.window, 3)->itemText(2), QStringLiteral("0"));
        QCOMPARE(list(*s.window, 1)->rowCount(), 3);
        // The program goes on: Start again appends the same three rows and reports again.
        s.window->Command1_Click();
        QCOMPARE(s.answerer->seen.size(), 2);
        QCOMPARE(list(*s.window, 9)->rowCount(), 6);
        s.window->Command3_Click();
        QCOMPARE(list(*s.window, 9)->rowCount(), 0);
    }

    void fullRowStoreStopsTheSearchWithErrorSeven() {
        QList<QPair<int, int>> ranges(8, {0, 0});
        ranges[0] = {0, 7};
        Shown s(settingsLines(0, fruitHeadingBytes(), QList<int>(8, 0), ranges), 5);
        s.window->Command1_Click();
        QCOMPARE(s.answerer->seen.size(), 1);
        QCOMPARE(s.answerer->seen.first().text, QStringLiteral("実行時エラー 7: メモリが不足しています。"));
        QCOMPARE(s.answerer->seen.first().title, QStringLiteral("velmora"));
        QVERIFY(!QGuiApplication::overrideCursor());
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(list(*s.window, n)->rowCount(), 5);
        QCOMPARE(list(*s.window, 2)->itemText(4), QStringLiteral("4"));
        s.window->Command1_Click(); // still full: reported again, nothing added
        QCOMPARE(s.answerer->seen.size(), 2);
        QCOMPARE(list(*s.window, 2)->rowCount(), 5);
        s.window->Command3_Click();
        s.window->Command1_Click();
        QCOMPARE(list(*s.window, 2)->rowCount(), 5);
    }

    void inputQueuedDuringTheSearchIsDropped() {
        auto postClick = [](QWidget* target) {
            const QPointF at(target->rect().center());
            const QPointF global(target->mapToGlobal(at.toPoint()));
            QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                                Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        };
        QWidget* reset = nullptr;
        Shown s(exampleLines(), RowStore::kDefaultLimit, [&](const SearchSetup& setup, SolutionSink& sink) {
            postClick(reset); // the user clicks Reset while the search runs
            combinationSearch(setup, sink);
        });
        reset = s.window->findChild<QPushButton*>(QStringLiteral("Command3"));
        s.window->Command1_Click();
        QCoreApplication::processEvents();
        QVERIFY(s.window->resultColumns().rowCount() > 0);
        // The same click outside a search does reach Reset.
        postClick(reset);
        QCoreApplication::processEvents();
        QCOMPARE(s.window->resultColumns().rowCount(), std::size_t{0});
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
