// Where the panel opens: at the icon, else at the last activation point, else at the corner of
// the screen where the tray sits; which edge stays put when its height changes; and what the
// cover that catches the clicks beside it takes.
#include "ui/PanelPlacement.h"

#include <QRegion>

#include <gtest/gtest.h>

namespace {

const QSize panel(300, 355);
const QRectF screen(0, 0, 1280, 800);
const ScreenArea topBar{screen, QRectF(0, 32, 1280, 768)};
const ScreenArea bottomBar{screen, QRectF(0, 0, 1280, 760)};
const ScreenArea leftBar{screen, QRectF(48, 0, 1232, 800)};
const ScreenArea noBar{screen, screen};
const ScreenArea second{QRectF(1280, 0, 1024, 768), QRectF(1280, 0, 1024, 768)};

struct Case {
    const char *what;
    TrayHints hints;
    ScreenArea primary;
    QPoint origin;
};

TEST(PanelPlacementTest, IconThenActivationPointThenTrayCorner) {
    const QRect icon(1200, 4, 24, 24);
    const Case cases[] = {
        {"under the icon, pushed inside", {icon, QPoint(600, 400)}, topBar, {980, 32}},
        {"an empty icon rectangle is no geometry", {QRect(), QPoint(600, 10)}, topBar, {450, 32}},
        {"at the activation point, above it low on the screen",
         {std::nullopt, QPoint(640, 790)},
         bottomBar,
         {490, 760 - 355}},
        {"top bar: top right corner", {}, topBar, {980, 32 + 4}},
        {"bottom bar: bottom right corner", {}, bottomBar, {980, 760 - 4 - 355}},
        {"left bar: bottom left corner", {}, leftBar, {48, 800 - 4 - 355}},
        {"no bar at all: top right", {}, noBar, {980, 4}},
        {"a point on the second screen stays there",
         {std::nullopt, QPoint(2300, 0)},
         topBar,
         {2304 - 300, 5}},
    };
    for (const Case &c : cases) {
        const auto placement = placePanel(c.hints, {c.primary, second}, c.primary);
        ASSERT_TRUE(placement) << c.what;
        EXPECT_EQ(placement->origin(panel), c.origin) << c.what;
    }
    EXPECT_FALSE(placePanel({}, {}, std::nullopt));
    EXPECT_FALSE(placePanel({std::nullopt, QPoint(5, 5)}, {}, std::nullopt));
}

TEST(PanelPlacementTest, TheEdgeNearestTheTrayStaysPutWhenTheHeightChanges) {
    const struct {
        const char *what;
        TrayHints hints;
        ScreenArea primary;
        bool topStays;
    } cases[] = {
        {"top bar corner", {}, topBar, true},
        {"bottom bar corner", {}, bottomBar, false},
        {"icon at the top", {QRect(1200, 4, 24, 24), {}}, topBar, true},
        {"pointer at the bottom", {std::nullopt, QPoint(100, 780)}, bottomBar, false},
    };
    for (const auto &c : cases) {
        const auto placement = placePanel(c.hints, {c.primary}, c.primary);
        ASSERT_TRUE(placement) << c.what;
        for (const int height : {300, 410}) {
            const QPoint before = placement->origin(panel);
            const QPoint after = placement->origin(QSize(300, height));
            EXPECT_EQ(after.x(), before.x()) << c.what;
            if (c.topStays)
                EXPECT_EQ(after.y(), before.y()) << c.what;
            else
                EXPECT_EQ(after.y() + height, before.y() + panel.height()) << c.what;
        }
    }
}

TEST(PanelPlacementTest, ALayerPanelHangsAtTheHostsPointFromTheNearerEdge) {
    const ScreenArea plasma{screen, screen}; // Wayland reports no room taken by the panel
    const struct {
        const char *what;
        std::optional<QPoint> point;
        TrayCorner fallback;
        LayerPlacement expected;
    } cases[] = {
        {"icon in a bottom panel, right half: centred on it from the right edge",
         QPoint(1100, 780),
         TrayCorner::bottomRight,
         {TrayCorner::bottomRight, 30, 4}},
        {"icon in a top bar, left half",
         QPoint(200, 10),
         TrayCorner::topRight,
         {TrayCorner::topLeft, 50, 4}},
        {"right at the corner: kept inside",
         QPoint(1279, 799),
         TrayCorner::topRight,
         {TrayCorner::bottomRight, 4, 4}},
        {"left edge: kept inside", QPoint(0, 0), TrayCorner::topRight, {TrayCorner::topLeft, 4, 4}},
        {"no point: the fallback corner",
         std::nullopt,
         TrayCorner::bottomRight,
         {TrayCorner::bottomRight, 4, 4}},
        {"a point on no screen: the fallback corner",
         QPoint(5000, 10),
         TrayCorner::topRight,
         {TrayCorner::topRight, 4, 4}},
        {"a point on the second screen: measured from its own edges",
         QPoint(2000, 700),
         TrayCorner::topRight,
         {TrayCorner::bottomRight, 2304 - 2000 - 150, 4}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(layerPlacement(c.point, {plasma, second}, c.fallback, 300, 4), c.expected)
            << c.what;
    // Where the compositor reserves no room for the bar, the panel keeps clear of the bar,
    // taken to be centred on the icon: a 44-high panel at the bottom, a 32-high bar at the top.
    EXPECT_EQ(layerPlacement(QPoint(1100, 778), {plasma}, TrayCorner::topRight, 300, 4, false),
              (LayerPlacement{TrayCorner::bottomRight, 30, 44 + 4}));
    EXPECT_EQ(layerPlacement(QPoint(200, 16), {plasma}, TrayCorner::topRight, 300, 4, false),
              (LayerPlacement{TrayCorner::topLeft, 50, 32 + 4}));
}

TEST(PanelPlacementTest, WithoutRoomTakenTheDesktopsDefaultCornerIsUsed) {
    EXPECT_EQ(trayCorner(noBar, TrayCorner::bottomRight), TrayCorner::bottomRight);
    EXPECT_EQ(trayCorner(topBar, TrayCorner::bottomRight), TrayCorner::topRight);
    const auto placement = placePanel({}, {noBar}, noBar, TrayCorner::bottomRight);
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->origin(panel), QPoint(980, 800 - 4 - 355));
}

TEST(PanelPlacementTest, TheCoverTakesTheWholeScreenButThePanel) {
    const QRect whole(0, 0, 1280, 800);
    // At a corner, in the middle, partly off the screen, off it, over all of it.
    for (const QRect &open : {QRect(980, 32, 300, 357), QRect(500, 200, 300, 357),
                              QRect(1100, 600, 300, 357), QRect(2000, 0, 300, 357), whole}) {
        const std::array<QRect, 4> cover = coverAround(open, whole);
        QRegion covered;
        int area = 0;
        for (const QRect &part : cover) {
            EXPECT_TRUE(whole.contains(part) || part.isEmpty()) << part.x() << "," << part.y();
            if (!part.isEmpty()) {
                covered += part;
                area += part.width() * part.height();
            }
        }
        const QRegion expected = QRegion(whole) - QRegion(open);
        EXPECT_EQ(covered, expected) << open.x() << "," << open.y();
        // No two parts overlap: their areas add up to the region's.
        int expectedArea = 0;
        for (const QRect &rect : expected)
            expectedArea += rect.width() * rect.height();
        EXPECT_EQ(area, expectedArea) << open.x() << "," << open.y();
    }
}

} // namespace
