// The list control over the row store: scroll bar only when needed, keyboard and mouse selection, typing
// and dragging as a system list box, each list on its own, items cut not elided. The row store itself is
// tested in tests/window/commands/.

#include "window/commands/result_columns.h"
#include "window/qt/result_list.h"
#include "window/commands/row_store.h"
#include "window_test_support.h"

#include <QMouseEvent>
#include <QScrollBar>

#include <vector>

using namespace velmora;

namespace {

Solution solution(std::int32_t sum, std::int16_t first) {
    Solution s;
    s.sum = sum;
    for (std::size_t i = 0; i < s.values.size(); ++i)
        s.values[i] = static_cast<std::int16_t>(first + std::int16_t(i));
    return s;
}

std::vector<Solution> rows(int count, std::int32_t sum = 7) {
    std::vector<Solution> result;
    for (int r = 0; r < count; ++r)
        result.push_back(solution(sum, static_cast<std::int16_t>(r)));
    return result;
}

// The nine lists over one store, as the window sets them up, each 41 x 340 like List2.
struct Columns {
    explicit Columns(std::size_t limit = RowStore::kDefaultLimit) : columns(limit) {
        for (int c = 0; c < ResultColumns::kListCount; ++c) {
            lists.push_back(std::make_unique<ResultList>(columns.store(), c));
            lists.back()->resize(c == 0 ? 65 : 41, 340);
        }
    }
    // What the window does once a command has changed the rows.
    void showRows() {
        for (auto& list : lists)
            list->rowsChanged();
    }
    ResultColumns columns;
    std::vector<std::unique_ptr<ResultList>> lists;
};

} // namespace

class ResultListTest : public QObject {
    Q_OBJECT

private slots:
    void scrollBarShowsOnlyWhenItemsDoNotFit() {
        Columns c;
        ResultList& list = *c.lists[1];
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const int fit = list.pageRows();
        QVERIFY(fit > 5);
        c.columns.accept(rows(fit));
        c.showRows();
        QCoreApplication::processEvents();
        QVERIFY(!list.verticalScrollBar()->isVisible());
        c.columns.accept(rows(1));
        c.showRows();
        QCoreApplication::processEvents();
        QVERIFY(list.verticalScrollBar()->isVisible());
        QVERIFY(!list.horizontalScrollBar()->isVisible());
        QCOMPARE(list.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        c.columns.clear();
        c.showRows();
        QCoreApplication::processEvents();
        QVERIFY(!list.verticalScrollBar()->isVisible());
        QCOMPARE(list.rowCount(), 0);
    }

    void listsShowTheirColumnInTextForm() {
        Columns c;
        Solution s;
        s.sum = -2147483647 - 1;
        s.values = {-7, 120, 0, -32768, 32767, 1, -1, 10};
        c.columns.accept(std::span(&s, 1));
        c.showRows();
        const QStringList expected{"-2147483648", "-7", "120", "0", "-32768", "32767", "1", "-1", "10"};
        for (int col = 0; col < 9; ++col) {
            QCOMPARE(c.lists[std::size_t(col)]->rowCount(), 1);
            QCOMPARE(c.lists[std::size_t(col)]->itemText(0), expected[col]);
        }
    }

    void wideItemIsCutNotScrolled() {
        Columns c;
        Solution s;
        s.sum = -2147483647 - 1;
        c.columns.accept(std::span(&s, 1));
        c.showRows();
        ResultList& list = *c.lists[0];
        list.resize(30, 100); // narrower than the number
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(list.fontMetrics().horizontalAdvance(list.itemText(0)) > list.viewport()->width());
        QCOMPARE(list.horizontalScrollBar()->maximum(), 0);
        // The digits run to the right edge of the viewport: the text is cut there, not shortened with "…".
        const QImage image = list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb base = list.palette().color(QPalette::Base).rgb();
        bool inkAtEdge = false;
        for (int y = 0; y < list.rowHeight(); ++y)
            for (int x = image.width() - 4; x < image.width(); ++x)
                inkAtEdge |= image.pixel(x, y) != base;
        QVERIFY(inkAtEdge);
    }

    // The keys reach the list's rules (tested in tests/window/commands/), and the view follows the selection.
    void keysMoveTheSelectionAndTheView() {
        Columns c;
        ResultList& list = *c.lists[1];
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        c.columns.accept(rows(1000));
        c.showRows();
        const int page = list.pageRows();
        const QList<QPair<Qt::Key, int>> steps{{Qt::Key_Down, 0}, {Qt::Key_PageDown, page - 1}, {Qt::Key_Up, page - 2},
                                               {Qt::Key_End, 999}, {Qt::Key_PageUp, 999 - (page - 1)}, {Qt::Key_Home, 0}};
        for (const auto& [key, row] : steps) {
            QTest::keyClick(&list, key);
            QCOMPARE(list.currentRow(), row);
            QVERIFY(list.topRow() <= row && row < list.topRow() + page);
        }
    }

    void clickSelectsOneItemAndOnlyInItsList() {
        Columns c;
        for (auto& list : c.lists)
            list->show();
        c.columns.accept(rows(100));
        c.showRows();
        ResultList& list = *c.lists[3];
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.rowHeight() * 2 + 1));
        QCOMPARE(list.currentRow(), 2);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.rowHeight() * 4 + 1));
        QCOMPARE(list.currentRow(), 4);
        for (std::size_t i = 0; i < c.lists.size(); ++i)
            if (i != 3)
                QCOMPARE(c.lists[i]->currentRow(), -1);
        // A click below the last item selects nothing new.
        c.columns.clear();
        c.columns.accept(rows(2));
        c.showRows();
        QCOMPARE(list.currentRow(), -1); // the selected row went with Reset
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.rowHeight() * 5 + 1));
        QCOMPARE(list.currentRow(), -1);
    }

    void eachListScrollsOnItsOwn() {
        Columns c;
        c.columns.accept(rows(500));
        c.showRows();
        c.lists[2]->verticalScrollBar()->setValue(300);
        QCOMPARE(c.lists[2]->topRow(), 300);
        for (std::size_t i = 0; i < c.lists.size(); ++i)
            if (i != 2)
                QCOMPARE(c.lists[i]->topRow(), 0);
        QCOMPARE(c.lists[2]->itemText(c.lists[2]->topRow()), QStringLiteral("301"));
    }

    // A typed character selects the next item that starts with it; one typed with Ctrl or Alt does not.
    void typingSelectsTheNextItemStartingWithIt() {
        Columns c;
        c.columns.accept(rows(30)); // term 1: 0 .. 29
        c.showRows();
        ResultList& list = *c.lists[1];
        for (const auto& [typed, row] : QList<QPair<QString, int>>{{"2", 2}, {"2", 20}, {"x", 20}}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
            QApplication::sendEvent(&list, &press);
            QCOMPARE(list.currentRow(), row);
        }
        QTest::keyClick(&list, '1', Qt::ControlModifier);
        QTest::keyClick(&list, '1', Qt::AltModifier);
        QCOMPARE(list.currentRow(), 20);
    }

    // With the button held, the selection follows the pointer, past the ends of the rows in view too, and
    // held there it keeps scrolling on a timer, as on a system list box.
    void dragMovesTheSelection() {
        Columns c;
        c.columns.accept(rows(1000));
        c.showRows();
        ResultList& list = *c.lists[1];
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QWidget* view = list.viewport();
        const int h = list.rowHeight();
        const auto move = [&](int y, Qt::MouseButtons held) {
            QMouseEvent event(QEvent::MouseMove, QPointF(5, y), view->mapToGlobal(QPointF(5, y)), Qt::NoButton, held,
                              Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        };
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, h + 1));
        QCOMPARE(list.currentRow(), 1);
        move(4 * h + 1, Qt::LeftButton);
        QCOMPARE(list.currentRow(), 4);
        // Held below the list, the selection goes on moving without the pointer moving, until released.
        move(view->height() + 5, Qt::LeftButton);
        QTest::qWait(400);
        const int held = list.currentRow();
        QVERIFY2(held >= list.pageRows() + 3, qPrintable(QString::number(held)));
        QCOMPARE(list.topRow(), held - list.pageRows() + 1);
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(5, view->height() + 5));
        QTest::qWait(200);
        QCOMPARE(list.currentRow(), held);
        move(6 * h + 1, Qt::NoButton); // the button up, moving selects nothing
        QCOMPARE(list.currentRow(), held);
    }

    void selectionAtDepthStaysOnItsRow() {
        Columns c;
        const auto batch = rows(1024);
        for (int i = 0; i < 300; ++i) // 307200 rows, past several blocks
            c.columns.accept(batch);
        c.showRows();
        ResultList& list = *c.lists[1];
        list.setCurrentRow(250000);
        QCOMPARE(list.currentRow(), 250000);
        QVERIFY(list.topRow() <= 250000 && 250000 < list.topRow() + list.pageRows());
        QCOMPARE(list.itemText(250000), QString::number(250000 % 1024));
        c.columns.accept(batch); // appending keeps the selection and the scroll position
        c.showRows();
        QCOMPARE(list.currentRow(), 250000);
    }
};

QTEST_MAIN(ResultListTest)
#include "result_list_test.moc"
