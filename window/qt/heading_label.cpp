#include "window/qt/heading_label.h"

#include <QPainter>
#include <QTextLayout>

namespace velmora {

MnemonicText parseMnemonics(const QString& caption) {
    MnemonicText result;
    result.shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            result.shown += caption[i];
            continue;
        }
        if (++i == caption.size())
            break;
        if (caption[i] != u'&' && result.underlined < 0)
            result.underlined = result.shown.size();
        result.shown += caption[i];
    }
    return result;
}

HeadingLabel::HeadingLabel(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }

void HeadingLabel::setText(const QString& text) {
    m_text = text;
    update();
}

void HeadingLabel::paintEvent(QPaintEvent*) {
    const MnemonicText caption = parseMnemonics(m_text);
    if (caption.shown.isEmpty())
        return;

    // QPainter::drawText offers word wrap or wrap-anywhere but not both; a heading of one long word in a
    // 17-pixel label must still wrap, so lay the text out here.
    QTextLayout layout(caption.shown, font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    if (caption.underlined >= 0) {
        QTextLayout::FormatRange mark;
        mark.start = int(caption.underlined);
        mark.length = 1;
        mark.format.setFontUnderline(true);
        layout.setFormats({mark});
    }
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid() && y < height(); line = layout.createLine()) {
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
