// The grid's cells read back from a rendered image: layout order and colours.
#include "ui/HeatmapGrid.h"
#include "ui/Colors.h"

#include <QDate>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

QList<HeatmapDay> days(qsizetype count) {
    QList<HeatmapDay> list;
    for (qsizetype i = 0; i < count; ++i)
        list << HeatmapDay{QStringLiteral("day %1").arg(i), 0};
    return list;
}

// Renders the grid and reads the colour of one cell back from the image.
void expectLevel(const QList<HeatmapDay> &list, int row, int column, int level) {
    HeatmapGrid grid;
    grid.setDays(list);
    const QImage image = grid.grab().toImage();
    EXPECT_EQ(image.pixelColor(HeatmapGrid::cellRect(row, column).center()).rgb(),
              heatmapLevelColor(level).rgb())
        << "cell at row " << row << ", column " << column;
}

TEST(HeatmapGridTest, SummaryTellsTheDaysShownAndTheBusiestDay) {
    QList<HeatmapDay> list;
    for (int i = 0; i < 100; ++i)
        list << HeatmapDay{QDate(2026, 1, 1).addDays(i).toString(Qt::ISODate), i == 40 ? 0 : 10};
    list[12].tokens = 1'240'000;
    list[99].tokens = 9'000'000; // beyond the 98 cells shown: not counted
    const struct {
        const char *what;
        QList<HeatmapDay> days;
        QString summary;
    } cases[] = {
        {"98 days shown of 100, the busiest named", list,
         "用量热力图，98 天（2026-01-01 至 2026-04-08）：最多的一天是 2026-01-13，1.2M"},
        {"a tie goes to the latest day",
         {{"2026-02-01", 5}, {"2026-02-02", 5}, {"2026-02-03", 1}},
         "用量热力图，3 天（2026-02-01 至 2026-02-03）：最多的一天是 2026-02-02，5"},
        {"no usage at all",
         {{"2026-02-01", 0}, {"2026-02-02", 0}},
         "用量热力图，2 天（2026-02-01 至 2026-02-02）：每天都没有用量"},
        {"before the first refresh", {}, "用量热力图：暂无数据"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HeatmapGrid::summary(c.days), c.summary) << c.what;
}

TEST(HeatmapGridTest, IsFourteenColumnsOfSevenCellsOfFifteenWithSpacingThree) {
    HeatmapGrid grid;
    EXPECT_EQ(grid.size(), QSize(249, 123));
    EXPECT_EQ(HeatmapGrid::cellRect(0, 0), QRect(0, 0, 15, 15));
    EXPECT_EQ(HeatmapGrid::cellRect(6, 13), QRect(234, 108, 15, 15));
}

TEST(HeatmapGridTest, FillsColumnByColumnWithTheLevelColours) {
    QList<HeatmapDay> list = days(98);
    list[0].tokens = 1;          // top left: level 1
    list[6].tokens = 1'000'000;  // bottom of the first column: level 2
    list[7].tokens = 10'000'000; // top of the second column: level 3
    list[97].tokens = -5;        // today, bottom right: a negative count is level 4
    expectLevel(list, 0, 0, 1);
    expectLevel(list, 6, 0, 2);
    expectLevel(list, 0, 1, 3);
    expectLevel(list, 6, 13, 4);
    expectLevel(list, 1, 0, 0);
    expectLevel(list, 5, 13, 0);
    for (int level = 1; level <= 4; ++level) // or the cells above could not tell levels apart
        EXPECT_NE(heatmapLevelColor(level), heatmapLevelColor(level - 1)) << level;
}

TEST(HeatmapGridTest, ShortAndEmptyListsShowTheRestAtLevelZeroAndExtraDaysAreNotShown) {
    QList<HeatmapDay> shortList = days(9);
    shortList[8].tokens = 200'000'000; // second column, second row
    expectLevel(shortList, 1, 1, 4);
    expectLevel(shortList, 2, 1, 0);
    expectLevel({}, 0, 0, 0);
    expectLevel({}, 6, 13, 0);

    QList<HeatmapDay> longList = days(99);
    longList[98].tokens = 5;
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 14; ++column)
            EXPECT_EQ(HeatmapGrid::levelAt(longList, row, column), 0);
}

} // namespace
