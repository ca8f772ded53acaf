// The window read through QAccessible, as a screen reader reads it: each result list is a list whose rows
// are items with their text, made only when asked for, whose focused and selected item follow the
// keyboard; each heading label is static text named by the caption it shows.

#include "window/commands/result_columns.h"
#include "window/qt/heading_label.h"
#include "window/qt/result_list.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

// What the list announced: the event and the text of the item it names.
struct Announced {
    QAccessible::Event type;
    QString item;
};
std::vector<Announced> g_announced;

void recordAnnouncement(QAccessibleEvent* event) {
    if (event->type() != QAccessible::Focus && event->type() != QAccessible::Selection)
        return;
    QAccessibleInterface* item = event->accessibleInterface();
    g_announced.push_back({event->type(), item ? item->text(QAccessible::Name) : QString()});
}

// `count` rows whose value of term 1 is the row number modulo 30000.
void fill(ResultColumns& columns, int count) {
    std::vector<Solution> batch(4096);
    for (int first = 0; first < count; first += int(batch.size())) {
        const int n = std::min(count - first, int(batch.size()));
        for (int i = 0; i < n; ++i)
            batch[std::size_t(i)].values[0] = std::int16_t((first + i) % 30000);
        columns.accept(std::span(batch).first(std::size_t(n)));
    }
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    // As when a screen reader is running: accessibility is active, and the events reach the handler.
    // (QAccessible::setActive only tells observers; the platform's own switch is what QAccessible reads.)
    void initTestCase() {
        QAccessible::installUpdateHandler(recordAnnouncement);
        QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        QVERIFY(platform);
        platform->setActive(true);
        QVERIFY(QAccessible::isActive());
    }

    void listOfAMillionRowsReadsAtDepth() {
        constexpr int kRows = 1'000'000;
        ResultColumns columns;
        fill(columns, kRows);
        ResultList list(columns.store(), 1);
        list.rowsChanged();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&list);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::List);
        QCOMPARE(iface->childCount(), kRows);
        for (int row : {0, 29999, 30000, kRows - 1}) {
            QAccessibleInterface* item = iface->child(row);
            QVERIFY(item);
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->text(QAccessible::Name), QString::number(row % 30000));
            QCOMPARE(iface->indexOfChild(item), row);
            QCOMPARE(item->parent(), iface);
            QCOMPARE(iface->child(row), item); // asked again, the same item
        }
        QVERIFY(!iface->child(kRows));
        QVERIFY(!iface->child(-1));
        // Far more items asked for than kept: each still reads its own row.
        for (int row = 0; row < 1000; ++row)
            QCOMPARE(iface->child(row * 997)->text(QAccessible::Name), QString::number(row * 997 % 30000));
        // After Reset the list has no items, and an item made before reads nothing.
        QAccessibleInterface* old = iface->child(5);
        columns.clear();
        list.rowsChanged();
        QCOMPARE(iface->childCount(), 0);
        QVERIFY(!old->isValid());
    }

    void focusedAndSelectedItemFollowTheKeyboard() {
        ResultColumns columns;
        fill(columns, 5000);
        ResultList list(columns.store(), 1);
        list.rowsChanged();
        list.resize(41, 340);
        list.show();
        QVERIFY(QTest::qWaitForWindowActive(&list));
        list.setFocus();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&list);
        QVERIFY(!iface->focusChild()); // nothing selected yet
        const QList<QPair<Qt::Key, int>> steps{{Qt::Key_Down, 0}, {Qt::Key_Down, 1}, {Qt::Key_End, 4999},
                                               {Qt::Key_Up, 4998}, {Qt::Key_Home, 0}};
        for (const auto& [key, row] : steps) {
            g_announced.clear();
            QTest::keyClick(&list, key);
            QCOMPARE(list.currentRow(), row);
            QAccessibleInterface* focused = iface->focusChild();
            QVERIFY(focused);
            QCOMPARE(iface->indexOfChild(focused), row);
            QVERIFY(focused->state().focused && focused->state().selected);
            QVERIFY(!focused->state().offscreen); // scrolled into view
            const QString text = QString::number(row);
            QCOMPARE(focused->text(QAccessible::Name), text);
            QVERIFY(std::ranges::any_of(g_announced, [&](const Announced& a) {
                return a.type == QAccessible::Focus && a.item == text;
            }));
            QVERIFY(std::ranges::any_of(g_announced, [&](const Announced& a) {
                return a.type == QAccessible::Selection && a.item == text;
            }));
        }
        QVERIFY(!iface->child(3000)->state().selected);
        QVERIFY(iface->child(3000)->state().offscreen);
    }

    void labelsAreStaticTextNamedByTheirCaption_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "りんご" << "りんご";
        QTest::newRow("marks") << "&a&b" << "ab";
    }
    void labelsAreStaticTextNamedByTheirCaption() {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        HeadingLabel label;
        label.setText(caption);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&label);
        QCOMPARE(iface->role(), QAccessible::StaticText);
        QCOMPARE(iface->text(QAccessible::Name), name);
    }

    void windowHoldsTheListsAndLabels() {
        TempCurrentDir dir;
        dir.writeSettings(settingsLines(0, fruitHeadingBytes(), QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAccessibleInterface* top = QAccessible::queryAccessibleInterface(&window);
        QStringList names;
        for (int i = 0; i < top->childCount(); ++i)
            if (top->child(i)->role() == QAccessible::StaticText)
                names += top->child(i)->text(QAccessible::Name);
        QCOMPARE(names.mid(1), fruitHeadings()); // Label1, then Label2 .. Label9
        auto* list9 = window.findChild<QWidget*>(QStringLiteral("List9"));
        QVERIFY(top->indexOfChild(QAccessible::queryAccessibleInterface(list9)) >= 0);
    }

    // Each list is named after its column: 合計 for the sums, the heading of its term as its label shows
    // it for the others; loaded again, the names follow the new headings.
    void listsAreNamedAfterTheirColumn() {
        TempCurrentDir dir;
        dir.writeSettings(settingsLines(0, fruitHeadingBytes(), QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        Velm window;
        const auto names = [&] {
            QStringList result;
            for (int n = 1; n <= 9; ++n)
                result += QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(QStringLiteral("List%1").arg(n)))
                              ->text(QAccessible::Name);
            return result;
        };
        window.Form_Load();
        QCOMPARE(names(), QStringList{QStringLiteral("合計")} + fruitHeadings());
        QByteArrayList renamed = fruitHeadingBytes();
        renamed[0] = "R&&D";
        renamed[1] = "";
        dir.writeSettings(settingsLines(0, renamed, QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        window.Form_Load();
        QCOMPARE(names().mid(0, 4), (QStringList{QStringLiteral("合計"), QStringLiteral("R&D"), QString(), fruitHeadings()[2]}));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
