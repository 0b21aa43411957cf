// The texts derived for display: compact numbers, durations, titles and the sync countdown.
#include "state/DisplayFormatting.h"
#include "state/HeatmapDay.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

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
        {1250, "1.2K"}, // an exact tie rounds to even, as printf does
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

// Four characters at most, so the figure can fill a 16-pixel tray icon.
TEST(ShortTokenString, FitsFourCharactersAndRoundsBeforeChoosingTheForm) {
    const std::pair<qint64, const char *> cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1.0K"},
        {4321, "4.3K"},
        {9949, "9.9K"},
        {9950, "10K"},
        {12'345, "12K"},
        {999'499, "999K"},
        {999'500, "1.0M"},
        {4'321'000, "4.3M"},
        {9'960'000, "10M"},
        {12'300'000'000, "12B"},
        {999'600'000'000, "1.0T"},
        {int64Max, "9.2E"},
        {-5, "<0"},
        {int64Min, "<0"},
    };
    for (const auto &[value, text] : cases) {
        EXPECT_EQ(shortTokenString(value), QString::fromLatin1(text)) << value;
        EXPECT_LE(shortTokenString(value).size(), 4) << value;
    }
}

// Qt puts the environment's locale in force at start; a German or French desktop must not
// turn the decimal point into a comma.
TEST(NumberTexts, ReadTheSameUnderACommaLocaleAndZeroIsAPlaceholder) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "run scripts/install-deps";
    EXPECT_EQ(compactTokenString(1'234'567), QStringLiteral("1.2M"));
    EXPECT_EQ(compactTokenString(999'950), QStringLiteral("1000.0K"));
    EXPECT_EQ(shortTokenString(4'321'000), QStringLiteral("4.3M"));
    EXPECT_EQ(menuTitleFor(1500), QStringLiteral("热图 1.5K"));
    EXPECT_EQ(menuTitleFor(-3), QStringLiteral("热图 -3"));
    EXPECT_EQ(menuTitleFor(0), QStringLiteral("热图")) << "no placeholder in the title";
    EXPECT_EQ(summaryFor(2'500'000'000), QStringLiteral("2.5B"));
    EXPECT_EQ(summaryFor(0), QStringLiteral("暂无数据"));
    EXPECT_EQ(nextSyncText(3661), QStringLiteral("下次同步：01:01:01"));
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(DurationString, PadsAndNeverWrapsHours) {
    const std::pair<qint64, const char *> cases[] = {
        {0, "00:00:00"},    {59, "00:00:59"},       {3599, "00:59:59"},
        {3600, "01:00:00"}, {86400, "24:00:00"},    {90061, "25:01:01"},
        {-5, "00:00:00"},   {int64Min, "00:00:00"}, {int64Max, "2562047788015215:30:07"}};
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(durationString(seconds), QString::fromLatin1(text)) << seconds;
}

// The countdown runs to the next multiple of the interval after the anchor; future anchors,
// tiny intervals and values no clock produces are clamped.
TEST(NextSync, CountsDownToTheNextMultipleOfTheIntervalAfterTheAnchor) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1'765'000'000'123);
    const double at = now.toMSecsSinceEpoch() / 1000.0;
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<double, qint64, qint64> cases[] = {
        {at - 3599.9, 3600, 1}, {at - 3600, 3600, 3600},
        {at - 1, 3600, 3599},   {at - 7200.5, 3600, 3600},
        {at, 3600, 3600},       {at + 500, 3600, 3600},
        {at - 12345, 0, 1},     {at - 12345, -60, 1},
        {std::nan(""), 60, 60}, {-inf, 60, 60 - int64Max % 60},
        {inf, 60, 60},          {-1e300, int64Max, int64Max},
    };
    for (const auto &[anchor, interval, seconds] : cases)
        EXPECT_EQ(secondsUntilNextSync(now, anchor, interval), seconds)
            << anchor - at << " " << interval;
    EXPECT_EQ(nextSyncText(1), QStringLiteral("下次同步：00:00:01"));
}

TEST(HeatmapLevel, StepsAtEachPowerOfTen) {
    const std::pair<qint64, int> cases[] = {
        {0, 0},         {1, 1},          {999'999, 1},    {1'000'000, 2},
        {9'999'999, 2}, {10'000'000, 3}, {99'999'999, 3}, {100'000'000, 4},
        {int64Max, 4},  {-1, 4},         {int64Min, 4},
    };
    for (const auto &[tokens, level] : cases)
        EXPECT_EQ((HeatmapDay{QString(), tokens}.level()), level) << tokens;
}

} // namespace
