#include "window/qt/heading_label.h"

#include "window/qt/accessible_controls.h"

#include <QAccessible>
#include <QPainter>
#include <QTextLayout>

namespace velmora {

AccessKeyText<char16_t> accessKeysOf(const QString& caption) {
    return parseAccessKeys(std::u16string_view(QStringView(caption).utf16(), std::size_t(caption.size())));
}

QKeySequence accessKeySequence(const AccessKeyText<char16_t>& caption) {
    const std::optional<char16_t> key = caption.key();
    if (!key)
        return {};
    return QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(QChar(*key).toUpper().unicode())));
}

HeadingLabel::HeadingLabel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    installAccessibleControls();
}

void HeadingLabel::setText(const QString& text) {
    m_text = text;
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    const QKeySequence key = accessKeySequence(accessKeysOf(text));
    m_shortcutId = key.isEmpty() ? 0 : grabShortcut(key);
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

bool HeadingLabel::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        // Labels sharing one key all lead to the same next control, so an ambiguous key acts the same.
        emit accessKeyPressed();
        return true;
    }
    return QWidget::event(event);
}

void HeadingLabel::paintEvent(QPaintEvent*) {
    const AccessKeyText<char16_t> caption = accessKeysOf(m_text);
    if (caption.shown.empty())
        return;

    // QPainter::drawText offers word wrap or wrap-anywhere but not both; a heading of one long word in a
    // 17-pixel label must still wrap, so lay the text out here.
    QTextLayout layout(QString::fromStdU16String(caption.shown), font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> marks;
    for (std::size_t index : caption.marked) {
        QTextLayout::FormatRange mark;
        mark.start = int(index);
        mark.length = 1;
        mark.format.setFontUnderline(true);
        marks += mark;
    }
    layout.setFormats(marks);
    // Only the lines that start inside the box are laid out; the text after them is never drawn (a line
    // created but not placed would be drawn at the top-left, over the first line).
    layout.beginLayout();
    for (qreal y = 0; y < height();) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();

    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setClipRect(rect());
    layout.draw(&painter, QPointF(0, 0));
}

} // namespace velmora
