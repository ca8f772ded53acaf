// The window's labels: headings wrap at the label's width and are cut at its box, '&' marks an access key
// whatever the style says (Alt with it moves the focus on), and Label1 never shows anything.

#include "window/qt/heading_label.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QPainter>
#include <QProxyStyle>

using namespace velmora;
using namespace velmora::test;

namespace {

// A style whose keyboard cues stay hidden until Alt is pressed (as on Windows by default).
class HiddenCueStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_UnderlineShortcut)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

QImage render(HeadingLabel& label) { return label.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The rows of the image that hold any pixel darker than the background.
QList<int> inkRows(const QImage& image) {
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) + 60 < qGray(background)) {
                rows += y;
                break;
            }
    return rows;
}

} // namespace

class LabelsTest : public QObject {
    Q_OBJECT

private slots:
    void accessKeyIsUnderlinedWhateverTheStyleSays() {
        HiddenCueStyle style;
        HeadingLabel marked, plain, doubled;
        for (HeadingLabel* label : {&marked, &plain, &doubled}) {
            label->setStyle(&style);
            label->resize(80, 30);
        }
        marked.setText(QStringLiteral("&A"));
        plain.setText(QStringLiteral("A"));
        doubled.setText(QStringLiteral("&&A"));
        QVERIFY(render(marked) != render(plain));
        // The underline lies below the letter: marked shows ink further down than plain.
        QVERIFY(inkRows(render(marked)).last() > inkRows(render(plain)).last());
        // Two ampersands show one, which takes room: doubled differs from plain and has no underline row.
        QVERIFY(render(doubled) != render(plain));
        QCOMPARE(inkRows(render(doubled)).last(), inkRows(render(plain)).last());
        // Every mark is underlined: "&a&b" differs from "&ab" by the line under b.
        HeadingLabel both, first;
        for (HeadingLabel* label : {&both, &first}) {
            label->setStyle(&style);
            label->resize(80, 30);
        }
        both.setText(QStringLiteral("&a&b"));
        first.setText(QStringLiteral("&ab"));
        QVERIFY(render(both) != render(first));
    }

    // A heading too long for its 17 x 41 label shows its first lines and nothing else: the box holds
    // exactly what a shorter prefix of the heading shows, and what the same heading shows in a taller label.
    void longHeadingShowsOnlyItsFirstLines_data() {
        QTest::addColumn<QString>("heading");
        QTest::newRow("kana") << QStringLiteral("さくらんぼ");
        QTest::newRow("katakana") << QStringLiteral("パイナップル");
        QTest::newRow("two words") << QStringLiteral("Apple pie");
        QTest::newRow("digits") << QStringLiteral("12345678");
    }
    void longHeadingShowsOnlyItsFirstLines() {
        QFETCH(QString, heading);
        const auto renderIn = [](const QString& text, int height) {
            HeadingLabel label;
            label.resize(17, height);
            label.setText(text);
            return render(label).copy(0, 0, 17, 41);
        };
        const QImage shown = renderIn(heading, 41);
        QVERIFY(!inkRows(shown).isEmpty());
        QCOMPARE(shown, renderIn(heading, 400));
        int prefix = int(heading.size()) - 1;
        while (prefix > 0 && renderIn(heading.left(prefix), 41) == shown)
            --prefix;
        ++prefix; // the shortest prefix that shows the same
        QVERIFY2(prefix < heading.size() && renderIn(heading.left(prefix), 41) == shown,
                 "the box shows more than the first lines of the heading");
    }

    // Alt with a label's marked character moves the focus to the next control after the label in tab order
    // that can take it (after Label2 .. Label9, List2), from wherever the focus is. On a button, which takes
    // no characters, the character alone does the same; a list takes it for itself.
    void accessKeyMovesTheFocusOn_data() {
        QTest::addColumn<QString>("heading"); // of term 1, in Label2
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("focus"); // afterwards
        const int alt = Qt::AltModifier;
        QTest::newRow("Alt+A") << "&Apple" << "List5" << int(Qt::Key_A) << alt << "List2";
        QTest::newRow("mark inside") << "Pin&e" << "Command3" << int(Qt::Key_E) << alt << "List2";
        QTest::newRow("second mark is no key") << "&a&b" << "List5" << int(Qt::Key_B) << alt << "List5";
        QTest::newRow("letter alone on a button") << "&Apple" << "Command2" << int(Qt::Key_A) << 0 << "List2";
        QTest::newRow("letter alone in a list") << "&Apple" << "List5" << int(Qt::Key_A) << 0 << "List5";
        QTest::newRow("Ctrl+letter on a button") << "&Apple" << "Command2" << int(Qt::Key_A)
                                                 << int(Qt::ControlModifier) << "Command2";
    }
    void accessKeyMovesTheFocusOn() {
        QFETCH(QString, heading);
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, focus);
        TempCurrentDir dir;
        QByteArrayList headings = fruitHeadingBytes();
        headings[0] = heading.toLatin1();
        dir.writeSettings(settingsLines(0, headings, QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.findChild<QWidget*>(from)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }

    void headingWrapsAtTheLabelsWidth() {
        HeadingLabel one, two, word;
        for (HeadingLabel* label : {&one, &two, &word})
            label->resize(17, 41);
        one.setText(QStringLiteral("あ"));
        two.setText(QStringLiteral("あい"));
        word.setText(QStringLiteral("WWWW"));
        const int lineHeight = QFontMetrics(one.font()).height();
        QVERIFY(lineHeight < 41);
        QVERIFY(!inkRows(render(one)).isEmpty());
        QVERIFY(inkRows(render(one)).last() < lineHeight);
        QVERIFY(inkRows(render(two)).last() >= lineHeight); // the second character on the second line
        // A word wider than the label breaks where it must, rather than running out of the box.
        QVERIFY(inkRows(render(word)).last() >= lineHeight);
    }

    void textStartsAtTheTopLeft() {
        HeadingLabel label;
        label.resize(60, 41);
        label.setText(QStringLiteral("W"));
        const QImage image = render(label);
        QVERIFY(inkRows(image).first() < QFontMetrics(label.font()).height());
        int leftmost = image.width();
        const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) + 60 < qGray(background))
                    leftmost = std::min(leftmost, x);
        QVERIFY(leftmost < 4);
    }

    void longHeadingIsCutAtItsBoxAndLeavesItsNeighboursAlone() {
        TempCurrentDir dir;
        dir.writeSettings(settingsLines(0, fruitHeadingBytes(), QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* label2 = window.findChild<HeadingLabel*>(QStringLiteral("Label2"));
        auto* label3 = window.findChild<HeadingLabel*>(QStringLiteral("Label3"));
        const QRect box = label2->geometry();
        const QRect around = box.united(label3->geometry()).adjusted(-20, 0, 0, 0);
        const QImage before = window.grab(around).toImage();
        label2->setText(QStringLiteral("とても長い見出しはラベルの枠で切れるはずです WWWWWWWWWWWWWW"));
        QCOMPARE(label2->geometry(), box);
        const QImage after = window.grab(around).toImage();
        // Only pixels inside Label2's box changed.
        const QRect local = box.translated(-around.topLeft());
        bool inside = false;
        for (int y = 0; y < before.height(); ++y)
            for (int x = 0; x < before.width(); ++x)
                if (before.pixel(x, y) != after.pixel(x, y)) {
                    QVERIFY2(local.contains(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                    inside = true;
                }
        QVERIFY(inside);
    }

    void headingsShowExactlyAsLoaded() {
        TempCurrentDir dir;
        QByteArrayList bytes = fruitHeadingBytes();
        QStringList headings = fruitHeadings();
        bytes[2].clear();
        headings[2].clear(); // an empty heading leaves its label blank
        bytes[3] = " " + QByteArray::fromHex("82d4") + "&" + QByteArray::fromHex("82c782a4") + " ";
        headings[3] = QStringLiteral(" ぶ&どう "); // spaces and marks stay in the caption
        dir.writeSettings(settingsLines(0, bytes, QList<int>(8, 0), QList<QPair<int, int>>(8, {0, 0})));
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int term = 1; term <= 8; ++term)
            QCOMPARE(window.findChild<HeadingLabel*>(QStringLiteral("Label%1").arg(term + 1))->text(),
                     headings[term - 1]);
        QVERIFY(inkRows(render(*window.findChild<HeadingLabel*>(QStringLiteral("Label4")))).isEmpty());
    }

    void label1StaysEmptyThroughEveryCommand() {
        TempCurrentDir dir;
        dir.writeSettings(settingsLines(2, fruitHeadingBytes(), QList<int>(8, 1), QList<QPair<int, int>>(8, {0, 1})));
        Velm window;
        auto* label1 = window.findChild<HeadingLabel*>(QStringLiteral("Label1"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(label1->text().isEmpty());
        window.Command1_Click();
        QVERIFY(window.resultColumns().rowCount() > 0);
        QVERIFY(label1->text().isEmpty());
        window.Command3_Click();
        QVERIFY(label1->text().isEmpty());
        QVERIFY(inkRows(render(*label1)).isEmpty());
    }
};

QTEST_MAIN(LabelsTest)
#include "labels_test.moc"
