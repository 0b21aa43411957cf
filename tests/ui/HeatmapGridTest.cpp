// The grid's cells read back from a rendered image: layout order and colours.
#include "ui/HeatmapGrid.h"
#include "ui/Colors.h"

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
