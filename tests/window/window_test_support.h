#pragma once

// Helpers shared by the window tests: a temporary current directory holding (or lacking) the settings
// file, settings files built line by line, and a timer that answers the modal message boxes.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

namespace velmora::test {

/// Makes a fresh temporary folder the current directory for the life of the object.
class TempCurrentDir {
public:
    TempCurrentDir() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~TempCurrentDir() { QDir::setCurrent(m_previous); }
    TempCurrentDir(const TempCurrentDir&) = delete;
    TempCurrentDir& operator=(const TempCurrentDir&) = delete;

    /// Writes text-2x.ini into the folder, the lines (bytes in code page 932) ended by CR LF.
    void writeSettings(const QByteArrayList& lines) const {
        QFile file(m_dir.filePath(QStringLiteral("text-2x.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join("\r\n") + "\r\n");
    }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

/// The 33 lines of a settings file: target, eight headings, eight weights, eight first/last pairs.
inline QByteArrayList settingsLines(int target, const QByteArrayList& headings, const QList<int>& weights,
                                    const QList<QPair<int, int>>& ranges) {
    QByteArrayList lines{QByteArray::number(target)};
    lines += headings;
    for (int w : weights)
        lines += QByteArray::number(w);
    for (const auto& [first, last] : ranges)
        lines += {QByteArray::number(first), QByteArray::number(last)};
    return lines;
}

/// The headings of the bundled example as the file holds them, in code page 932.
inline QByteArrayList fruitHeadingBytes() {
    return {QByteArray::fromHex("82e882f182b2"), QByteArray::fromHex("82dd82a982f1"),
            QByteArray::fromHex("836f83698369"), QByteArray::fromHex("82d482c782a4"),
            QByteArray::fromHex("82e082e0"),     QByteArray::fromHex("8381838d8393"),
            QByteArray::fromHex("82a282bf82b2"), QByteArray::fromHex("82c882b5")};
}

/// The same headings as the labels show them.
inline QStringList fruitHeadings() {
    return {QStringLiteral("りんご"), QStringLiteral("みかん"), QStringLiteral("バナナ"), QStringLiteral("ぶどう"),
            QStringLiteral("もも"),   QStringLiteral("メロン"), QStringLiteral("いちご"), QStringLiteral("なし")};
}

/// What a message box showed when it came up.
struct SeenBox {
    QString title;
    QString text;
    QString detail;
    int buttonCount = 0;
    bool hasOk = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool okHasIcon = false;
    Qt::WindowFlags flags;
    QRect frame;                                // where the box stood, its frame included
    QRect screen;                               // the screen's available area
    bool windowVisible = false;                 // whether the watched window was shown at the time
    std::optional<Qt::CursorShape> cursor;      // the program's override pointer at the time
};

/// Answers every modal message box with OK, recording what each showed.
class ModalAnswerer {
public:
    explicit ModalAnswerer(const QWidget* window = nullptr) : m_window(window) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }

    QList<SeenBox> seen;

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        SeenBox s;
        s.title = box->windowTitle();
        s.text = box->text();
        s.detail = box->informativeText();
        s.buttonCount = int(box->buttons().size());
        s.hasOk = box->button(QMessageBox::Ok) != nullptr;
        s.icon = box->icon();
        s.okHasIcon = s.hasOk && !box->button(QMessageBox::Ok)->icon().isNull();
        s.flags = box->windowFlags();
        s.frame = box->frameGeometry();
        s.screen = box->screen()->availableGeometry();
        s.windowVisible = m_window && m_window->isVisible();
        if (const QCursor* cursor = QGuiApplication::overrideCursor())
            s.cursor = cursor->shape();
        seen += s;
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    const QWidget* m_window;
    QTimer m_timer;
};

} // namespace velmora::test
