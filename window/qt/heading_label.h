#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QWidget>

namespace velmora {

/// A caption with its access-key marks worked out: the text shown and the indexes of the underlined
/// characters.
struct MnemonicText {
    QString shown;
    QList<qsizetype> underlined;

    /// Alt plus the first marked character (upper case), or an empty sequence when nothing is marked or the
    /// mark stands on a space.
    QKeySequence accessKey() const;

    friend bool operator==(const MnemonicText&, const MnemonicText&) = default;
};

/// "&x" shows x underlined (every mark), "&&" shows one ampersand, a lone "&" at the end shows nothing.
MnemonicText parseMnemonics(const QString& caption);

/// The window's label: borderless static text on the window's background, starting at its top-left
/// corner, wrapped at its width (between words where it can, else anywhere) and cut at its box. It never
/// takes the focus. Unlike QLabel without a buddy, it always treats '&' as an access-key mark, underlines
/// every marked character whatever the style's keyboard-cue setting, and reports Alt plus its first
/// marked character through accessKeyPressed (the window moves the focus on).
class HeadingLabel final : public QWidget {
    Q_OBJECT
public:
    explicit HeadingLabel(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

signals:
    void accessKeyPressed();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_shortcutId = 0;
};

} // namespace velmora
