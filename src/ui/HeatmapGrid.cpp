#include "ui/HeatmapGrid.h"

#include "state/DisplayFormatting.h"
#include "ui/Colors.h"

#include <QAccessible>
#include <QPainter>
#include <QPainterPath>

HeatmapGrid::HeatmapGrid(QWidget *parent) : QWidget(parent) {
    setFixedSize(sizeHint());
}

QSize HeatmapGrid::sizeHint() const {
    return {columns * cellSize + (columns - 1) * spacing, rows * cellSize + (rows - 1) * spacing};
}

void HeatmapGrid::setDays(const QList<HeatmapDay> &days) {
    // The panel re-reads the state every second for the countdown; repaint only on news.
    if (days == m_days)
        return;
    m_days = days;
    update();
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
}

int HeatmapGrid::levelAt(const QList<HeatmapDay> &days, int row, int column) {
    const qsizetype index = qsizetype(column) * rows + row;
    return index < days.size() ? days[index].level() : 0;
}

QString HeatmapGrid::summary(const QList<HeatmapDay> &days) {
    const QList<HeatmapDay> shown = days.mid(0, rows * columns);
    if (shown.isEmpty())
        return QStringLiteral("用量热力图：暂无数据");
    // The most recent of the busiest days.
    const HeatmapDay *busiest = &shown.front();
    for (const HeatmapDay &day : shown)
        if (day.tokens >= busiest->tokens)
            busiest = &day;
    const QString span = QStringLiteral("用量热力图，%1 天（%2 至 %3）")
                             .arg(shown.size())
                             .arg(shown.front().date, shown.back().date);
    if (busiest->tokens <= 0)
        return span + QStringLiteral("：每天都没有用量");
    return span + QStringLiteral("：最多的一天是 %1，%2")
                      .arg(busiest->date, compactTokenString(busiest->tokens));
}

QRect HeatmapGrid::cellRect(int row, int column) {
    return {column * (cellSize + spacing), row * (cellSize + spacing), cellSize, cellSize};
}

void HeatmapGrid::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPen outline(QColor::fromRgbF(0, 0, 0, 0.05f), 0.5);
    for (int column = 0; column < columns; ++column) {
        for (int row = 0; row < rows; ++row) {
            QPainterPath cell;
            cell.addRoundedRect(QRectF(cellRect(row, column)), 2, 2);
            painter.fillPath(cell, heatmapLevelColor(levelAt(m_days, row, column)));
            painter.strokePath(cell, outline);
        }
    }
}
