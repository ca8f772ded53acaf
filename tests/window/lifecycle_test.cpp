// Start-up and end: the settings loader's message comes before the window, alone in the middle of the
// screen, which then shows what the loader left in force; the loader runs once; Quit and closing the
// window end the program at once.

#include "window/qt/heading_label.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QMouseEvent>
#include <QProxyStyle>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kMessage = QStringLiteral("text-2x.iniが見当たりません");

QStringList labelTexts(const Velm& window) {
    QStringList texts;
    for (int k = 2; k <= 9; ++k)
        texts += window.findChild<HeadingLabel*>(QStringLiteral("Label%1").arg(k))->text();
    return texts;
}

QByteArrayList exampleLines() {
    return settingsLines(1500, fruitHeadingBytes(), {98, 128, 158, 198, 248, 298, 398, 498},
                         QList<QPair<int, int>>(8, {0, 5}));
}

void verifyLoaderMessage(const QList<SeenBox>& seen, const QString& cause) {
    QCOMPARE(seen.size(), 1);
    const SeenBox& box = seen.first();
    QCOMPARE(box.title, QStringLiteral("velmora"));
    QCOMPARE(box.text, kMessage);
    QCOMPARE(box.detail, cause);
    QCOMPARE(box.buttonCount, 1);
    QVERIFY(box.hasOk);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QVERIFY2(!box.okHasIcon, "OK carries an icon");
    QVERIFY(!(box.flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY2(box.flags & Qt::CustomizeWindowHint, "the window system may add a minimise button");
    QVERIFY2(!box.windowVisible, "the message must come before the window");
    const QPoint offCentre = box.frame.center() - box.screen.center();
    QVERIFY2(offCentre.manhattanLength() <= 2,
             qPrintable(QStringLiteral("the message stands %1,%2 off the screen's centre").arg(offCentre.x()).arg(offCentre.y())));
}

// A style that puts icons on a dialog's buttons, as some desktops' styles do.
class ButtonIconStyle final : public QProxyStyle {
public:
    ButtonIconStyle() : QProxyStyle(QStringLiteral("fusion")) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// Runs the event loop as the program's main() does; returns its exit code, or 99 if nothing ended it.
int runEventLoop(const std::function<void()>& action) {
    QTimer::singleShot(0, action);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    return QCoreApplication::exec();
}

} // namespace

class LifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(new ButtonIconStyle); }

    void validFileLoadsWithoutMessage() {
        TempCurrentDir dir;
        dir.writeSettings(exampleLines());
        Velm window;
        ModalAnswerer answerer(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(labelTexts(window), fruitHeadings());
    }

    void missingFileShowsTheMessageBoxBeforeTheWindow() {
        TempCurrentDir dir;
        Velm window;
        ModalAnswerer answerer(&window);
        window.show();
        verifyLoaderMessage(answerer.seen, QStringLiteral("ファイルがありません。"));
        QVERIFY(window.isVisible());
        QCOMPARE(labelTexts(window), QStringList(8));
    }

    void loaderRunsOnlyAtTheFirstShowing() {
        TempCurrentDir dir;
        dir.writeSettings(exampleLines());
        Velm window;
        ModalAnswerer answerer(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QByteArrayList changed = exampleLines();
        changed[0] = "7";
        changed[1] = "changed";
        dir.writeSettings(changed);
        window.hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.setup().target, 1500);
        QCOMPARE(labelTexts(window), fruitHeadings());
        QVERIFY(answerer.seen.isEmpty());
    }

    void quitEndsTheProgramAtOnceWithoutAsking() {
        TempCurrentDir dir;
        dir.writeSettings(exampleLines());
        Velm window;
        ModalAnswerer answerer(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* quit = window.findChild<QPushButton*>(QStringLiteral("Command2"));
        const int code = runEventLoop([&] { QTest::mouseClick(quit, Qt::LeftButton); });
        QCOMPARE(code, 0);
        QVERIFY(answerer.seen.isEmpty());
    }

    void closingTheWindowEndsTheProgram() {
        TempCurrentDir dir;
        dir.writeSettings(exampleLines());
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QApplication::quitOnLastWindowClosed());
        const int code = runEventLoop([&] { window.close(); });
        QCOMPARE(code, 0);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(LifecycleTest)
#include "lifecycle_test.moc"
