// Pure geometry: where the settings window and the panel go, and the GitHub mark's scaling.
#include "ui/GitHubMark.h"
#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

// Two screens side by side; each loses a 30-high bar at its top.
const ScreenArea left{QRectF(0, 0, 1920, 1080), QRectF(0, 30, 1920, 1050)};
const ScreenArea right{QRectF(1920, 0, 1280, 1024), QRectF(1920, 30, 1280, 994)};
const QSizeF frame(300, 248); // 220 of content under a 28-high title bar

TEST(WindowPlacementTest, CentresTheOuterFrameInTheAvailableAreaOfTheScreenUnderThePointer) {
    const auto origin = centredWindowOrigin(QPointF(2500, 500), {left, right}, left, frame);
    ASSERT_TRUE(origin);
    EXPECT_EQ(*origin, QPointF(1920 + 640 - 150, 30 + 497 - 124));
    // The content area therefore sits half a title bar below the centre line.
    EXPECT_DOUBLE_EQ(origin->y() + 28 + 110, 30 + 497 + 14);
}

TEST(WindowPlacementTest, LeftAndTopEdgesBelongToAScreenRightAndBottomEdgesDoNot) {
    const QSizeF none(0, 0);
    EXPECT_EQ(centredWindowOrigin(QPointF(1920, 10), {left, right}, left, none)->x(), 2560);
    EXPECT_EQ(centredWindowOrigin(QPointF(1919.5, 10), {left, right}, left, none)->x(), 960);
    EXPECT_TRUE(screenContains(left.frame, QPointF(0, 0)));
    EXPECT_FALSE(screenContains(left.frame, QPointF(100, 1080)));
    // Below the shorter right screen: no screen holds the pointer, the primary one is used.
    EXPECT_EQ(centredWindowOrigin(QPointF(2000, 1050), {left, right}, left, none)->x(), 960);
    EXPECT_FALSE(centredWindowOrigin(QPointF(0, 0), {}, std::nullopt, none).has_value());
}

TEST(WindowPlacementTest, PanelHangsFromTheAnchorAndStaysOnScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize panel(300, 355);
    // A tray icon at the top right: below it, pushed left to stay inside.
    EXPECT_EQ(panelOrigin(QRect(1257, 1, 22, 30), panel, screen), QPoint(980, 35));
    // A tray at the bottom: above the icon.
    EXPECT_EQ(panelOrigin(QRect(600, 770, 22, 30), panel, screen), QPoint(460, 770 - 4 - 355));
    // The pointer at the very corner of a second screen.
    EXPECT_EQ(panelOrigin(QRect(QPoint(1280, 0), QSize(1, 1)), panel, QRect(1280, 0, 1024, 768)),
              QPoint(1280, 5));
}

TEST(GitHubMarkTest, SixteenSquareMapsDesignUnitsOneToOne) {
    const QPainterPath path = gitHubMarkPath(QRectF(10, 20, 16, 16));
    ASSERT_GE(path.elementCount(), 72);
    EXPECT_TRUE(path.elementAt(0).isMoveTo());
    const auto at = [&](int i) { return QPointF(path.elementAt(i)); };
    EXPECT_EQ(at(0), QPointF(18.0, 20.2));
    // Qt stores a cubic as its two control points, then the end point.
    EXPECT_EQ(at(1), QPointF(13.9, 20.2));
    EXPECT_EQ(at(2), QPointF(10.6, 23.5));
    EXPECT_EQ(at(3), QPointF(10.6, 27.6));
    EXPECT_EQ(at(6), QPointF(15.6, 34.6));
    const QRectF span = path.controlPointRect();
    EXPECT_NEAR(span.left(), 10.6, 1e-9);
    EXPECT_NEAR(span.right(), 25.4, 1e-9);
    EXPECT_NEAR(span.top(), 20.2, 1e-9);
    EXPECT_NEAR(span.bottom(), 34.7, 1e-9);
    EXPECT_EQ(path.toSubpathPolygons().size(), 1);
}

TEST(GitHubMarkTest, KeepsItsProportionsCentredInTheLongerSide) {
    const QRectF wide = gitHubMarkPath(QRectF(0, 0, 32, 16)).controlPointRect();
    EXPECT_NEAR(wide.left(), 8 + 0.6, 1e-9);
    EXPECT_NEAR(wide.right(), 8 + 15.4, 1e-9);
    EXPECT_NEAR(wide.bottom(), 14.7, 1e-9);

    const QPainterPath flat = gitHubMarkPath(QRectF(4, 6, 0, 10));
    for (int i = 0; i < flat.elementCount(); ++i)
        EXPECT_EQ(QPointF(flat.elementAt(i)), QPointF(4, 11));
}

} // namespace
