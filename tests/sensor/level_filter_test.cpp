#include "sensor/level_filter.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vorkel {
namespace {

using Outcome = LevelFilterOutcome;
constexpr int kFullScale = 4095;

// The expected effect of one reply on the displays.
struct Expected {
    std::uint32_t raw;
    Outcome outcome;
    std::uint32_t currentLevel;
    std::optional<std::uint32_t> accepted;
    std::optional<bool> stability;
};

void runSequence(LevelFilter& filter, const std::vector<Expected>& sequence, int fullScale) {
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const Expected& e = sequence[i];
        const LevelFilterStep step = filter.step(e.raw, fullScale);
        SCOPED_TRACE(testing::Message() << "reply " << i << " (" << e.raw << ")");
        EXPECT_EQ(step.raw, e.raw);
        EXPECT_EQ(step.outcome, e.outcome);
        EXPECT_EQ(step.currentLevel, e.currentLevel);
        EXPECT_EQ(step.acceptedLevel, e.accepted);
        EXPECT_EQ(step.stability, e.stability);
    }
}

const std::vector<Expected> kFillAndSettle = {
    {100, Outcome::filling, 100, std::nullopt, std::nullopt},
    {101, Outcome::filling, 101, std::nullopt, std::nullopt},
    {102, Outcome::filling, 102, std::nullopt, std::nullopt},
    {103, Outcome::stable, 102, 103, true}, // average 101 + 0.5 rounds to 102
};

TEST(LevelFilter, fillsTheWindowThenAcceptsLevelsNearItsAverage) {
    LevelFilter filter;
    runSequence(filter, kFillAndSettle, kFullScale);
    EXPECT_EQ(filter.outlierCounter(), 0);
    // The window does not slide: its average stays that of the first three levels.
    runSequence(filter, {{104, Outcome::stable, 102, 104, true}}, kFullScale);
    EXPECT_EQ(filter.window(), (std::vector<std::uint32_t>{100, 101, 102}));
}

TEST(LevelFilter, ignoresOneOutlierAndRestartsAtTheSecond) {
    LevelFilter filter;
    runSequence(filter, kFillAndSettle, kFullScale);
    runSequence(filter,
                {{112, Outcome::outlier, 112, std::nullopt, std::nullopt},
                 {112, Outcome::outlier, 112, std::nullopt, false}},
                kFullScale);
    EXPECT_EQ(filter.window(), (std::vector<std::uint32_t>{112}));
    EXPECT_EQ(filter.outlierCounter(), 2);
    // Refilling resets the counter to the allowance + 1.
    runSequence(filter, {{113, Outcome::filling, 113, std::nullopt, std::nullopt}}, kFullScale);
    EXPECT_EQ(filter.outlierCounter(), 2);
}

TEST(LevelFilter, restartsAtOnceOnAJump) {
    LevelFilter filter;
    runSequence(filter, kFillAndSettle, kFullScale);
    runSequence(filter, {{130, Outcome::jump, 130, std::nullopt, false}}, kFullScale);
    EXPECT_EQ(filter.window(), (std::vector<std::uint32_t>{130}));
    EXPECT_EQ(filter.outlierCounter(), 21);
    // A deviation of exactly the threshold is still an outlier.
    LevelFilter edge;
    runSequence(edge, kFillAndSettle, kFullScale);
    runSequence(edge, {{122, Outcome::outlier, 122, std::nullopt, std::nullopt}}, kFullScale);
}

TEST(LevelFilter, pullsLevelsNearTheEndsToTheEnds) {
    LevelFilter top;
    runSequence(top,
                {{4093, Outcome::filling, 4093, std::nullopt, std::nullopt},
                 {4094, Outcome::filling, 4094, std::nullopt, std::nullopt},
                 {4095, Outcome::filling, 4095, std::nullopt, std::nullopt},
                 {4093, Outcome::stable, 4095, 4095, true}},
                kFullScale);
    LevelFilter bottom;
    runSequence(bottom,
                {{3, Outcome::filling, 3, std::nullopt, std::nullopt},
                 {0, Outcome::filling, 0, std::nullopt, std::nullopt},
                 {4, Outcome::filling, 4, std::nullopt, std::nullopt},
                 {3, Outcome::stable, 0, 0, true}},
                kFullScale);
    EXPECT_EQ(bottom.window(), (std::vector<std::uint32_t>{0, 0, 4}));
}

TEST(LevelFilter, clampsToTheSelectedFullScale) {
    LevelFilter filter;
    runSequence(filter,
                {{2000, Outcome::filling, 2000, std::nullopt, std::nullopt},
                 {2000, Outcome::filling, 2000, std::nullopt, std::nullopt},
                 {2000, Outcome::filling, 2000, std::nullopt, std::nullopt},
                 {2000, Outcome::stable, 1023, 1023, true}},
                1023);
}

TEST(LevelFilter, largeTolerancesDoNotWrap) {
    // Full scale - 2 x tolerance is negative: every level is first pulled to full scale, then,
    // being below 2 x tolerance, to 0. Unsigned arithmetic would wrap and keep the raw level.
    LevelFilterParameters parameters;
    parameters.stabilityTolerance = 3000;
    parameters.windowLength = 1;
    LevelFilter filter(parameters);
    runSequence(filter,
                {{2000, Outcome::filling, 2000, std::nullopt, std::nullopt},
                 {4000, Outcome::stable, 0, 0, true}},
                kFullScale);

    parameters.stabilityTolerance = std::numeric_limits<int>::max();
    parameters.jumpThreshold = std::numeric_limits<int>::max();
    parameters.outlierAllowance = std::numeric_limits<int>::max();
    LevelFilter extreme(parameters);
    runSequence(extreme,
                {{5, Outcome::filling, 5, std::nullopt, std::nullopt},
                 {4095, Outcome::stable, 0, 0, true}},
                kFullScale);
}

TEST(LevelFilter, theCounterCountsBeyondTheIntRange) {
    LevelFilterParameters parameters;
    parameters.jumpThreshold = std::numeric_limits<int>::max();
    parameters.stabilityTolerance = 0;
    parameters.outlierAllowance = std::numeric_limits<int>::max();
    parameters.windowLength = 1;
    LevelFilter filter(parameters);
    filter.step(100, kFullScale);
    EXPECT_EQ(filter.outlierCounter(), std::int64_t{std::numeric_limits<int>::max()} + 1);
    EXPECT_EQ(filter.step(200, kFullScale).outcome, Outcome::outlier);
    EXPECT_EQ(filter.outlierCounter(), std::int64_t{std::numeric_limits<int>::max()} + 2);
}

TEST(LevelFilter, windowAverageAddsAHalfAndRoundsTiesToEven) {
    const struct {
        std::vector<std::uint32_t> levels;
        std::uint32_t expected;
    } cases[] = {
        {{100, 101, 102}, 102}, // 101.5 -> 102
        {{100, 100, 100}, 100}, // 100.5 -> 100
        {{100, 100, 101}, 101}, // 100.83 -> 101
        {{0, 0, 1}, 1},         // 0.83 -> 1
        {{4095, 4095, 4095}, 4096},
    };
    for (const auto& c : cases) {
        LevelFilterParameters parameters;
        parameters.stabilityTolerance = 0; // no pulling to the ends
        parameters.windowLength = static_cast<int>(c.levels.size());
        LevelFilter filter(parameters);
        for (const std::uint32_t level : c.levels) {
            filter.step(level, 1000000);
        }
        EXPECT_EQ(filter.windowAverage(), c.expected);
    }
    EXPECT_EQ(LevelFilter().windowAverage(), 0u);
}

TEST(LevelFilterParameters, storedValuesOutOfRangeFallBackToDefaults) {
    const LevelFilterParameters defaults;
    const struct {
        LevelFilterParameters stored;
        LevelFilterParameters expected;
    } cases[] = {
        {{5, 6, 7, 8}, {5, 6, 7, 8}},
        {{0, 0, 1, 0}, {0, 0, 1, 0}},
        {{0, 0, 0, 0}, {0, 0, defaults.windowLength, 0}},
        {{-1, -2, -3, -4}, defaults},
        {{-1, 6, 7, 8}, {defaults.outlierAllowance, 6, 7, 8}},
        {{5, -1, 7, 8}, {5, defaults.stabilityTolerance, 7, 8}},
        {{5, 6, 7, -1}, {5, 6, 7, defaults.jumpThreshold}},
    };
    for (const auto& c : cases) {
        const LevelFilterParameters result = sanitizedLevelFilterParameters(c.stored);
        EXPECT_EQ(result.outlierAllowance, c.expected.outlierAllowance);
        EXPECT_EQ(result.stabilityTolerance, c.expected.stabilityTolerance);
        EXPECT_EQ(result.windowLength, c.expected.windowLength);
        EXPECT_EQ(result.jumpThreshold, c.expected.jumpThreshold);
    }
    // The filter itself never runs with unusable parameters.
    LevelFilter filter(LevelFilterParameters{1, 2, 0, 20});
    EXPECT_EQ(filter.parameters().windowLength, defaults.windowLength);
}

} // namespace
} // namespace vorkel
