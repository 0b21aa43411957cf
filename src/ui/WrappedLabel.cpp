#include "ui/WrappedLabel.h"

#include <QAccessible>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

WrappedLabel::WrappedLabel(int maxLines, QWidget *parent)
    : QWidget(parent), m_maxLines(std::max(maxLines, 1)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void WrappedLabel::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
    // Screen readers read the text as the widget's name.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

QStringList WrappedLabel::linesFor(int width) const {
    QStringList lines;
    if (m_text.isEmpty() || width <= 0)
        return lines;
    // Line breaks in the text become spaces: a tool's message spread over several lines
    // still reads as one paragraph.
    const QString text = m_text.simplified();
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == m_maxLines - 1) {
            lines << fontMetrics().elidedText(text.mid(line.textStart()), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

int WrappedLabel::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const qsizetype count = linesFor(width - margins.left() - margins.right()).size();
    return static_cast<int>(count) * fontMetrics().lineSpacing() + margins.top() + margins.bottom();
}

QSize WrappedLabel::sizeHint() const {
    const int width = std::max(this->width(), 1);
    return {width, heightForWidth(width)};
}

QSize WrappedLabel::minimumSizeHint() const {
    return {0, heightForWidth(std::max(width(), 1))};
}

void WrappedLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    const int spacing = fontMetrics().lineSpacing();
    int y = area.top();
    for (const QString &line : linesFor(area.width())) {
        painter.drawText(QRect(area.left(), y, area.width(), spacing),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += spacing;
    }
}
