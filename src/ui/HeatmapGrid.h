#pragma once

#include "state/HeatmapDay.h"

#include <QList>
#include <QRect>
#include <QWidget>

// The last 98 days as 7 rows by 14 columns of small rounded squares, 249 x 123 in all. The
// list fills the grid column by column, oldest day at the top left and today at the bottom
// right; missing days show the lowest colour and days beyond the 98th are not shown.
class HeatmapGrid : public QWidget {
    Q_OBJECT

public:
    static constexpr int rows = 7;
    static constexpr int columns = 14;
    static constexpr int cellSize = 15;
    static constexpr int spacing = 3;

    explicit HeatmapGrid(QWidget *parent = nullptr);

    void setDays(const QList<HeatmapDay> &days);
    const QList<HeatmapDay> &days() const { return m_days; }

    // The colour level of the cell at (row, column) for `days`.
    static int levelAt(const QList<HeatmapDay> &days, int row, int column);
    // What the grid shows, for screen readers: how many days, the busiest and its figure.
    static QString summary(const QList<HeatmapDay> &days);
    // Where that cell lies inside the grid.
    static QRect cellRect(int row, int column);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<HeatmapDay> m_days;
};
