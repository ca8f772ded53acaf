// The window as designed: the 21 controls' kinds, places and sizes, captions, fonts, stacking, icon, tab
// order and a layout that resizing leaves alone.

#include "window/commands/control_table.h"
#include "window/qt/heading_label.h"
#include "window/qt/program_icon.h"
#include "window/qt/result_list.h"
#include "window/qt/velm.h"
#include "window_test_support.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>
#include <QRawFont>
#include <QTextLayout>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Expected {
    QString name;
    ControlKind kind;
    QRect pixels;
};

// The design's pixel measures at 96 dpi, built from its regularities: lists at a step of 48 pixels from
// List2 at 88, each 41 wide, labels 16 right of their list's left edge, all nine labels ending at 49.
QList<Expected> designedControls() {
    QList<Expected> controls{{"Label1", ControlKind::Label, QRect(48, 16, 17, 33)},
                             {"List1", ControlKind::List, QRect(16, 48, 65, 340)},
                             {"Command1", ControlKind::Button, QRect(472, 72, 57, 41)},
                             {"Command3", ControlKind::Button, QRect(472, 184, 57, 41)},
                             {"Command2", ControlKind::Button, QRect(472, 344, 57, 41)}};
    for (int k = 2; k <= 9; ++k) {
        const int listLeft = 88 + 48 * (k - 2);
        controls += {QStringLiteral("Label%1").arg(k), ControlKind::Label, QRect(listLeft + 16, 8, 17, 41)};
        controls += {QStringLiteral("List%1").arg(k), ControlKind::List, QRect(listLeft, 48, 41, 340)};
    }
    return controls;
}

bool hasKind(const QWidget* w, ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return qobject_cast<const HeadingLabel*>(w);
    case ControlKind::List:
        return qobject_cast<const ResultList*>(w);
    case ControlKind::Button:
        return qobject_cast<const QPushButton*>(w);
    }
    return false;
}

QMap<QString, QRect> geometries(const Velm& window) {
    QMap<QString, QRect> result;
    for (const ControlSpec& spec : kControls) {
        const QString name = QString::fromUtf8(spec.name.data(), qsizetype(spec.name.size()));
        result[name] = window.findChild<QWidget*>(name)->geometry();
    }
    return result;
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir.emplace();
        m_dir->writeSettings(settingsLines(10, fruitHeadingBytes(), {1, 1, 1, 1, 1, 1, 1, 1},
                                           QList<QPair<int, int>>(8, {0, 1})));
    }
    void cleanup() { m_dir.reset(); }

    void controlsStandWhereDesigned() {
        Velm window;
        QCOMPARE(window.objectName(), QStringLiteral("velm"));
        const QList<Expected> expected = designedControls();
        QCOMPARE(qsizetype(kControls.size()), expected.size());
        for (const Expected& e : expected) {
            auto* control = window.findChild<QWidget*>(e.name);
            QVERIFY2(control, qPrintable(e.name));
            QVERIFY2(hasKind(control, e.kind), qPrintable(e.name));
            QCOMPARE(control->parentWidget(), &window);
            QCOMPARE(control->geometry(), e.pixels);
        }
    }

    void tableMeasuresConvertToTheDesignedPixels() {
        // The table in twips and the pixel measures of the design agree: 15 twips to the pixel.
        const QList<Expected> expected = designedControls();
        for (const ControlSpec& spec : kControls) {
            const QString name = QString::fromUtf8(spec.name.data(), qsizetype(spec.name.size()));
            const auto e = std::ranges::find(expected, name, &Expected::name);
            QVERIFY(e != expected.end());
            QCOMPARE(QRect(spec.left / 15, spec.top / 15, spec.width / 15, spec.height / 15), e->pixels);
        }
    }

    void clientAreaIsDesignedSizeWithSizableFrame() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(537, 406));
        QCOMPARE(window.windowTitle(), QStringLiteral("velmora"));
        QVERIFY(!window.windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
        QCOMPARE(window.minimumSize(), QSize(0, 0));
        QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QVERIFY(!window.layout());
    }

    void resizingMovesNothing() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto before = geometries(window);
        for (QSize size : {QSize(900, 700), QSize(200, 150), QSize(537, 406)}) {
            window.resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(geometries(window), before);
        }
        window.showMaximized();
        QCoreApplication::processEvents();
        QCOMPARE(geometries(window), before);
    }

    void buttonsCarryTheirCaptionsAndNoDefault() {
        Velm window;
        const QList<QPair<QString, QString>> captions{{"Command1", QStringLiteral("開始")},
                                                      {"Command3", QStringLiteral("初期化")},
                                                      {"Command2", QStringLiteral("終了")}};
        for (const auto& [name, caption] : captions) {
            auto* button = window.findChild<QPushButton*>(name);
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
    }

    void listsAreDrawnOverTheLabelsTheyOverlap() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Label2 reaches pixel row 48, the top row of List2.
        auto* list2 = window.findChild<QWidget*>(QStringLiteral("List2"));
        auto* label2 = window.findChild<QWidget*>(QStringLiteral("Label2"));
        const QPoint overlap(label2->geometry().left() + 2, 48);
        QVERIFY(label2->geometry().contains(overlap));
        QWidget* top = window.childAt(overlap);
        QVERIFY(top == list2 || list2->isAncestorOf(top));
    }

    void label1AsksForTheDesignedFaceAndGetsAJapaneseOne() {
        Velm window;
        const QFont font = window.findChild<QWidget*>(QStringLiteral("Label1"))->font();
        QCOMPARE(font.family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(font.pointSize(), 12);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic());
        QVERIFY(!font.underline());
        QVERIFY(!font.strikeOut());
        const QString actual = QFontInfo(font).family();
        QVERIFY2(actual == QStringLiteral("IPAPGothic") || actual == QStringLiteral("Noto Sans CJK JP"),
                 qPrintable(actual));
    }

    void everyOtherControlUsesTheDefaultFont() {
        Velm window;
        for (const ControlSpec& spec : kControls) {
            if (spec.name == "Label1")
                continue;
            const QString name = QString::fromUtf8(spec.name.data(), qsizetype(spec.name.size()));
            QCOMPARE(window.findChild<QWidget*>(name)->font(), window.font());
        }
        QVERIFY(!window.testAttribute(Qt::WA_SetFont));
    }

    // Digits, Latin letters and kana of every control but Label1 come from one Japanese face, with a glyph
    // for each character, never a missing-glyph box or a fallback face beside the chosen one.
    void defaultFontIsOneJapaneseFace() {
        Velm window;
        for (const QString name : {"Command1", "List1", "Label2"}) {
            const QFont font = window.findChild<QWidget*>(name)->font();
            const QString family = QFontInfo(font).family();
            QVERIFY2(QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese), qPrintable(family));
            QTextLayout layout(QStringLiteral("開始初期化終了 りんごメロン -2147483648 Apple pie"), font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const auto runs = layout.glyphRuns();
            QVERIFY(!runs.isEmpty());
            for (const QGlyphRun& run : runs) {
                QCOMPARE(run.rawFont().familyName(), family);
                for (quint32 glyph : run.glyphIndexes())
                    QVERIFY2(glyph != 0, qPrintable(run.rawFont().familyName()));
            }
        }
    }

    void iconIsTheSamePixelsEverywhere() {
        const QImage icon = programIconImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(16, 16));
        const QString dir = QStringLiteral(VELMORA_SOURCE_DIR "/window/icon/");
        for (const char* file : {"velmora.png", "velmora.ico"}) {
            const QImage other = QImage(dir + QLatin1String(file)).convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!other.isNull(), file);
            QCOMPARE(other.size(), icon.size());
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb a = icon.pixel(x, y), b = other.pixel(x, y);
                    QCOMPARE(qAlpha(a), qAlpha(b));
                    if (qAlpha(a) != 0)
                        QCOMPARE(a, b);
                }
        }
        Velm window;
        QVERIFY(!window.windowIcon().isNull());
    }

    // The menu sizes are the designed pixels, each made a whole square: nearest neighbour, no blending.
    void menuIconsAreTheDesignedPixelsScaled() {
        const QImage icon = programIconImage().convertToFormat(QImage::Format_ARGB32);
        const QString dir = QStringLiteral(VELMORA_SOURCE_DIR "/window/icon/");
        for (int size : {32, 48, 64, 128}) {
            const QString file = dir + QStringLiteral("velmora-%1.png").arg(size);
            const QImage scaled = QImage(file).convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!scaled.isNull(), qPrintable(file));
            QCOMPARE(scaled.size(), QSize(size, size));
            const int factor = size / 16;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const QRgb a = icon.pixel(x / factor, y / factor), b = scaled.pixel(x, y);
                    QCOMPARE(qAlpha(b), qAlpha(a));
                    if (qAlpha(a) != 0)
                        QCOMPARE(b, a);
                }
        }
    }

    void iconKeepsItsTransparentRows() {
        const QImage icon = programIconImage().convertToFormat(QImage::Format_ARGB32);
        for (int x = 0; x < 16; ++x) {
            QCOMPARE(qAlpha(icon.pixel(x, 0)), 0);
            QCOMPARE(qAlpha(icon.pixel(x, 15)), 0);
        }
        int opaque = 0;
        for (int x = 0; x < 16; ++x)
            if (qAlpha(icon.pixel(x, 14)) != 0) {
                ++opaque;
                QCOMPARE(icon.pixel(x, 14), qRgb(0, 0, 0));
            }
        QCOMPARE(opaque, 3);
        // Every colour comes from the 16-colour VGA palette.
        const QList<QRgb> vga{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                              0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (qAlpha(icon.pixel(x, y)) != 0)
                    QVERIFY(vga.contains(icon.pixel(x, y) & 0xFFFFFF));
    }

    void focusStartsOnStartAndTabCyclesInDesignedOrder() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
        const QStringList cycle{"Command2", "List1", "List2", "List3", "List4", "List5", "List6",
                                "List7",    "List8", "List9", "Command3", "Command1"};
        for (const QString& next : cycle) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
        QStringList backwards(cycle.rbegin() + 1, cycle.rend());
        backwards += QStringLiteral("Command1");
        for (const QString& previous : backwards) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget()->objectName(), previous);
        }
    }

    void labelsNeverTakeTheFocus() {
        Velm window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (int k = 1; k <= 9; ++k) {
            auto* label = window.findChild<QWidget*>(QStringLiteral("Label%1").arg(k));
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(3, 3));
            QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
        }
    }

private:
    std::optional<TempCurrentDir> m_dir;
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
