#pragma once

#include "window/commands/access_keys.h"

#include <QKeySequence>
#include <QString>
#include <QWidget>

namespace velmora {

/// The access-key marks of a caption (window/commands/access_keys.h).
AccessKeyText<char16_t> accessKeysOf(const QString& caption);
/// Alt plus the caption's access key in upper case, or an empty sequence when it has none.
QKeySequence accessKeySequence(const AccessKeyText<char16_t>& caption);

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
