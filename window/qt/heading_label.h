#pragma once

#include <QString>
#include <QWidget>

namespace velmora {

/// A caption with its access-key marks worked out: the text shown and the index of the underlined
/// character (-1 when none).
struct MnemonicText {
    QString shown;
    qsizetype underlined = -1;

    friend bool operator==(const MnemonicText&, const MnemonicText&) = default;
};

/// "&x" shows x underlined (the first mark only), "&&" shows one ampersand, a lone "&" at the end shows
/// nothing.
MnemonicText parseMnemonics(const QString& caption);

/// The window's label: borderless static text on the window's background, starting at its top-left
/// corner, wrapped at its width (between words where it can, else anywhere) and cut at its box. It never
/// takes the focus. Unlike QLabel without a buddy, it always treats '&' as an access-key mark, and it
/// underlines the marked character whatever the style's keyboard-cue setting.
class HeadingLabel final : public QWidget {
    Q_OBJECT
public:
    explicit HeadingLabel(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace velmora
