// The window at the keyboard, as on the target desktop: a focused button clicks on Enter as on Space, while
// Enter elsewhere and Escape do nothing; the focus is shown from the first showing on, an empty list's too.

#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QSignalSpy>

using namespace velmora;
using namespace velmora::test;

namespace {

QImage grabbed(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir.emplace();
        m_dir->writeSettings(settingsLines(1, fruitHeadingBytes(), QList<int>(8, 1), QList<QPair<int, int>>(8, {0, 1})));
    }
    void cleanup() { m_dir.reset(); }

    void enterClicksOnlyAFocusedButton_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("clicked"); // empty: no button
        QTest::newRow("Return on Start") << "Command1" << int(Qt::Key_Return) << 0 << "Command1";
        QTest::newRow("keypad Enter on Reset") << "Command3" << int(Qt::Key_Enter) << int(Qt::KeypadModifier)
                                                << "Command3";
        QTest::newRow("Return on Quit") << "Command2" << int(Qt::Key_Return) << 0 << "Command2";
        QTest::newRow("Space on Start") << "Command1" << int(Qt::Key_Space) << 0 << "Command1";
        QTest::newRow("Return in a list") << "List1" << int(Qt::Key_Return) << 0 << "";
        QTest::newRow("keypad Enter in a list") << "List9" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "";
        QTest::newRow("Escape on Start") << "Command1" << int(Qt::Key_Escape) << 0 << "";
        QTest::newRow("Escape in a list") << "List1" << int(Qt::Key_Escape) << 0 << "";
    }
    void enterClicksOnlyAFocusedButton() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, clicked);
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QMap<QString, QSignalSpy*> spies;
        for (const QString name : {"Command1", "Command2", "Command3"})
            spies[name] = new QSignalSpy(window.findChild<QPushButton*>(name), &QPushButton::clicked);
        auto* target = window.findChild<QWidget*>(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        for (auto [name, spy] : spies.asKeyValueRange()) {
            QCOMPARE(spy->count(), name == clicked ? 1 : 0);
            delete spy;
        }
        QVERIFY(window.isVisible());
    }

    void focusIsShownFromTheFirstShowing() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* start = window.findChild<QWidget*>(QStringLiteral("Command1"));
        auto* list1 = window.findChild<QWidget*>(QStringLiteral("List1"));
        QCOMPARE(QApplication::focusWidget(), start);
        const QImage startFocused = grabbed(start);
        const QImage listBlurred = grabbed(list1);
        // Moved by the mouse or by the program, not by Tab: the focus must still show where it lands.
        list1->setFocus(Qt::MouseFocusReason);
        QVERIFY(grabbed(start) != startFocused);
        QVERIFY2(grabbed(list1) != listBlurred, "an empty list shows no focus");
    }

private:
    std::optional<TempCurrentDir> m_dir;
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
