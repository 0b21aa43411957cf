#include "ui/HeatmapGrid.h"

#include "ui/Colors.h"

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
}

int HeatmapGrid::levelAt(const QList<HeatmapDay> &days, int row, int column) {
    const qsizetype index = qsizetype(column) * rows + row;
    return index < days.size() ? days[index].level() : 0;
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
