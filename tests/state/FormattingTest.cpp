// The texts derived for display: compact numbers, durations, titles and the sync countdown.
#include "state/DisplayFormatting.h"
#include "state/HeatmapDay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

TEST(CompactTokenString, ChoosesTheUnitBeforeRounding) {
    const std::pair<qint64, const char *> cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1.0K"},
        {1049, "1.0K"},
        {1051, "1.1K"},
        {1650, "1.6K"},
        {999949, "999.9K"},
        {999950, "1000.0K"},
        {1000000, "1.0M"},
        {999999999, "1000.0M"},
        {1234567890, "1.2B"},
        {int64Max, "9223372036.9B"},
        {-5, "-5"},
        {-1500, "-1500"},
        {int64Min, "-9223372036854775808"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(compactTokenString(value), QString::fromLatin1(text)) << value;
}

TEST(DurationString, PadsAndNeverWrapsHours) {
    EXPECT_EQ(durationString(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(durationString(59), QStringLiteral("00:00:59"));
    EXPECT_EQ(durationString(3599), QStringLiteral("00:59:59"));
    EXPECT_EQ(durationString(3600), QStringLiteral("01:00:00"));
    EXPECT_EQ(durationString(86400), QStringLiteral("24:00:00"));
    EXPECT_EQ(durationString(90061), QStringLiteral("25:01:01"));
    EXPECT_EQ(durationString(-5), QStringLiteral("00:00:00"));
    EXPECT_EQ(durationString(int64Min), QStringLiteral("00:00:00"));
    EXPECT_EQ(durationString(int64Max), QStringLiteral("2562047788015215:30:07"));
}

TEST(TitleAndSummaries, UseThePlaceholderOnlyForZero) {
    EXPECT_EQ(menuTitleFor(0), QStringLiteral("热图"));
    EXPECT_EQ(menuTitleFor(1500), QStringLiteral("热图 1.5K"));
    EXPECT_EQ(menuTitleFor(-3), QStringLiteral("热图 -3"));
    EXPECT_EQ(summaryFor(0), QStringLiteral("暂无数据"));
    EXPECT_EQ(summaryFor(2'500'000), QStringLiteral("2.5M"));
}

class NextSync : public ::testing::Test {
protected:
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1'765'000'000'123);
    double nowSeconds() const { return now.toMSecsSinceEpoch() / 1000.0; }
};

TEST_F(NextSync, CountsDownToTheNextMultipleOfTheIntervalAfterTheAnchor) {
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 3599.9, 3600), 1);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 3600, 3600), 3600);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 1, 3600), 3599);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 7200.5, 3600), 3600);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds(), 3600), 3600);
    EXPECT_EQ(nextSyncText(1), QStringLiteral("下次同步：00:00:01"));
}

TEST_F(NextSync, ClampsFutureAnchorsAndTinyIntervals) {
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() + 500, 3600), 3600);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 12345, 0), 1);
    EXPECT_EQ(secondsUntilNextSync(now, nowSeconds() - 12345, -60), 1);
}

TEST_F(NextSync, SurvivesValuesNoClockProduces) {
    EXPECT_EQ(secondsUntilNextSync(now, std::nan(""), 60), 60);
    EXPECT_EQ(secondsUntilNextSync(now, -std::numeric_limits<double>::infinity(), 60),
              60 - int64Max % 60);
    EXPECT_EQ(secondsUntilNextSync(now, std::numeric_limits<double>::infinity(), 60), 60);
    EXPECT_EQ(secondsUntilNextSync(now, -1e300, int64Max), int64Max);
}

TEST(HeatmapLevel, StepsAtEachPowerOfTen) {
    const std::pair<qint64, int> cases[] = {
        {0, 0},          {1, 1},          {999'999, 1},     {1'000'000, 2},
        {9'999'999, 2},  {10'000'000, 3}, {99'999'999, 3},  {100'000'000, 4},
        {int64Max, 4},   {-1, 4},         {int64Min, 4},
    };
    for (const auto &[tokens, level] : cases)
        EXPECT_EQ((HeatmapDay{QString(), tokens}.level()), level) << tokens;
}

} // namespace
