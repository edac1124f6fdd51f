#include "sensor/level_trend.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

TEST(LevelTrend, keepsTheNewestSamplesInOrderWithinItsCapacityUntilItRestarts) {
    LevelTrend trend;
    const std::size_t added = LevelTrend::kCapacity + 10;
    for (std::uint32_t i = 0; i < added; ++i) {
        trend.add({i * 1000, i, false});
    }
    ASSERT_EQ(trend.size(), LevelTrend::kCapacity);
    EXPECT_EQ(trend.at(0).raw, 10u);
    EXPECT_EQ(trend.at(LevelTrend::kCapacity - 1).raw, added - 1);
    trend.restart(1023);
    trend.add({0, 7, false});
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_EQ(trend.at(0).raw, 7u);
    EXPECT_EQ(trend.fullScale(), 1023u);
}

TEST(TrendPicture, placesTheLastMinutesOnTheFullScaleAndMarksTheStableRuns) {
    LevelTrend trend(1023);
    // The tick count wraps between the samples; the oldest sample is out of the span.
    const std::uint32_t start = 0xFFFFFFFFu - 90'000;
    const struct {
        std::uint32_t offset;
        std::uint32_t raw;
        bool stable;
    } samples[] = {
        {0, 500, true},         {121'000, 1000, false}, {122'000, 2000, true},
        {123'000, 2000, true},  {130'000, 2000, true}, // a pause before this one
        {131'000, 5000, false}, {181'000, 0, true},
    };
    for (const auto& sample : samples) {
        trend.add({start + sample.offset, sample.raw, sample.stable});
    }
    const TrendPicture picture = trendPicture(trend, start + 181'000, 60'000); // now: the last

    ASSERT_EQ(picture.points.size(), 6u);
    const double expectedX[] = {0.0, 1.0 / 60, 2.0 / 60, 9.0 / 60, 10.0 / 60, 1.0};
    const double expectedY[] = {1000 / 1023.0, 1.0, 1.0, 1.0, 1.0, 0.0}; // above full scale: top
    const bool starts[] = {true, false, false, true, false, true};
    for (std::size_t i = 0; i < picture.points.size(); ++i) {
        EXPECT_NEAR(picture.points[i].x, expectedX[i], 1e-9) << i;
        EXPECT_NEAR(picture.points[i].y, expectedY[i], 1e-9) << i;
        EXPECT_EQ(picture.points[i].startsLine, starts[i]) << i;
    }
    ASSERT_EQ(picture.stable.size(), 3u);
    EXPECT_NEAR(picture.stable[0].from, 1.0 / 60, 1e-9);
    EXPECT_NEAR(picture.stable[0].to, 2.0 / 60, 1e-9);
    EXPECT_NEAR(picture.stable[1].from, 9.0 / 60, 1e-9); // the pause ends a run
    EXPECT_NEAR(picture.stable[2].from, 1.0, 1e-9);

    ASSERT_EQ(picture.minutes.size(), 2u);
    EXPECT_EQ(picture.minutes[1].label, "-1");
    EXPECT_EQ(picture.minutes[1].position, 0.0);
    ASSERT_EQ(picture.levels.size(), 5u);
    EXPECT_EQ(picture.levels[2].label, "512");
    EXPECT_EQ(picture.levels[4].label, "1023");
    EXPECT_TRUE(picture.current);
    EXPECT_EQ(trendPicture(trend, 0).minutes.size(), 6u); // five minutes by default
}

// The axis ends at the present: while no reply comes the line moves away from "now", ends
// where the replies stopped, and is no longer marked as the level now.
TEST(TrendPicture, runsFromNowSoThatALineWithoutRepliesEnds) {
    LevelTrend trend;
    trend.add({10'000, 2048, true});
    trend.add({11'000, 2048, true});
    const struct {
        std::uint32_t now;
        std::vector<double> x;
        bool current;
    } cases[] = {
        {11'000, {59.0 / 60, 1.0}, true},
        {16'000, {54.0 / 60, 55.0 / 60}, true}, // the longest silence between two replies
        {16'001, {53.999 / 60, 54.999 / 60}, false},
        {70'500, {0.5 / 60}, false},
        {71'001, {}, false},
    };
    for (const auto& c : cases) {
        const TrendPicture picture = trendPicture(trend, c.now, 60'000);
        ASSERT_EQ(picture.points.size(), c.x.size()) << c.now;
        for (std::size_t i = 0; i < c.x.size(); ++i) {
            EXPECT_NEAR(picture.points[i].x, c.x[i], 1e-9) << c.now;
        }
        EXPECT_EQ(picture.current, c.current) << c.now;
    }
}

} // namespace
} // namespace vorkel
