// The commands as the Qt window carries them out: the lists show the rows, the pointer is the wait cursor
// while Start runs, a click on Reset empties the lists and their selection, a run-time error comes in a
// message box over the rows kept under the default pointer, input queued during a search is dropped but
// a close asked for meanwhile ends the program once the search is over. What the commands do is tested
// once, over a fake view, in tests/window/commands/.

#include "search/run_time_error.h"
#include "search/number_text.h"
#include "window/qt/heading_label.h"
#include "window/qt/result_list.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QCloseEvent>
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
    void startByClickingTheButton() {
        Shown s(exampleLines());
        QTest::mouseClick(s.window->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        Collect expected;
        referenceSearch(s.window->setup(), expected);
        verifyRows(*s.window, expected.solutions);
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

    void resetByClickingEmptiesTheListsAndTheirSelection() {
        Shown s(exampleLines());
        s.window->Command1_Click();
        list(*s.window, 4)->setCurrentRow(3);
        QTest::mouseClick(s.window->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(list(*s.window, n)->rowCount(), 0);
        QCOMPARE(list(*s.window, 4)->currentRow(), -1);
        QCOMPARE(s.window->findChild<HeadingLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("りんご"));
        QVERIFY(s.answerer->seen.isEmpty());
    }

    void overflowIsReportedInAMessageBoxOverTheRowsKept() {
        Shown s(overflowLines());
        s.window->Command1_Click();
        QCOMPARE(s.answerer->seen.size(), 1);
        const SeenBox& box = s.answerer->seen.first();
        QCOMPARE(box.title, QStringLiteral("velmora"));
        QCOMPARE(box.text, QStringLiteral("実行時エラー 6: オーバーフローしました。"));
        QCOMPARE(box.buttonCount, 1);
        QVERIFY(box.hasOk);
        QCOMPARE(box.cursor, std::nullopt); // the program waits for the user, not the search
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(s.window->isVisible());
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(list(*s.window, n)->rowCount(), 3);
        QCOMPARE(list(*s.window, 2)->itemText(2), QStringLiteral("2"));
        QCOMPARE(list(*s.window, 3)->itemText(2), QStringLiteral("0"));
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

    // The window system's close command, as the close button of the frame sends it, during a search: the
    // program ends as by Quit once the search is over, with the rows found.
    void closeAskedForDuringTheSearchEndsTheProgramAfterIt() {
        Velm* window = nullptr;
        Shown s(exampleLines(), RowStore::kDefaultLimit, [&](const SearchSetup& setup, SolutionSink& sink) {
            QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent);
            combinationSearch(setup, sink);
        });
        window = s.window.get();
        QTimer::singleShot(0, [&] { s.window->Command1_Click(); });
        QTimer::singleShot(3000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(s.window->resultColumns().rowCount(), std::size_t{23});
        QVERIFY(s.answerer->seen.isEmpty());
    }

    void holdsTheRowsThisMachinesMemoryHolds() {
        Velm window;
        QCOMPARE(window.resultColumns().store().limit(), machineRowLimit());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
