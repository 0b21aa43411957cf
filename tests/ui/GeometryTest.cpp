// Pure geometry: where the settings window goes (the panel's place has tests of its own), and
// the GitHub mark's scaling.
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

TEST(GitHubMarkTest, SixteenSquareMapsDesignUnitsOneToOne) {
    const QPainterPath path = gitHubMarkPath(QRectF(10, 20, 16, 16));
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
