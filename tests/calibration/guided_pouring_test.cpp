// Guided pouring over a scripted level series: every reply goes through the real stability
// filter, one a second in virtual time, and the grid records what "Read the level into table"
// would.
#include "calibration/guided_pouring.h"
#include "calibration/table_export.h"
#include "sensor/level_filter.h"
#include "support/engine_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vorkel {
namespace {

class GuidedPouringTest : public ::testing::Test, public GuidedPouringView {
protected:
    GuidedPouringTest() { time_.add(watchdog_); }

    std::string stepText() const override { return step_; }
    std::string startText() const override { return start_; }
    void setGuidedChecked(bool checked) override { checked_ = checked; }
    void showGuidedState(const std::string& text) override { state_ = text; }
    bool enterLiters(const std::string& liters) override {
        if (std::any_of(rows_.begin(), rows_.end(),
                        [&](const TableRow& row) { return row.liters == liters; })) {
            return false;
        }
        current_ = liters;
        return true;
    }
    void announceRow(const std::string& liters) override { announced_.push_back(liters); }
    void removeRow(const std::string& liters) override {
        std::erase_if(rows_, [&](const TableRow& row) { return row.liters == liters; });
    }
    void enableUndo(bool enabled) override { undo_ = enabled; }

    void switchOn(std::string step, std::string start = "") {
        step_ = std::move(step);
        start_ = std::move(start);
        checked_ = true;
        guided_.GuidedCheckBoxClick(true);
    }
    // Replies, one a second.
    void levels(std::initializer_list<std::uint32_t> series, int times = 1) {
        for (int i = 0; i < times; ++i) {
            for (const std::uint32_t raw : series) {
                time_.advanceBy(1000);
                const LevelFilterStep step = filter_.step(raw, 4095);
                if (step.acceptedLevel) {
                    shown_ = std::to_string(*step.acceptedLevel);
                }
                guided_.levelObserved({time_.tickCount(), raw, step.acceptedLevel});
            }
        }
    }
    std::vector<TableRow> rows(std::initializer_list<TableRow> expected) { return expected; }

    test::VirtualTime time_;
    test::VirtualTime::Timer watchdog_{time_};
    LevelFilter filter_;
    std::string step_, start_, state_, current_, shown_;
    bool checked_ = false, undo_ = false;
    std::vector<TableRow> rows_;
    std::vector<std::string> announced_;
    GuidedPouring guided_{*this, watchdog_,
                          GuidedPouringServices{
                              [](std::string_view key) { return std::string(key); },
                              [this] { return time_.tickCount(); }, [] { return 4095u; },
                              [this] { rows_.push_back({current_, shown_}); }}};
};

TEST_F(GuidedPouringTest, recordsEachPouredStepOnceTheLevelHasSettled) {
    switchOn("12,5");
    EXPECT_EQ(state_, "rsGuidedWaitingFirst");
    levels({100}, 4); // the window fills, then the first stable reply takes the start volume
    EXPECT_EQ(rows_, rows({{"0", "100"}}));
    levels({300, 600, 900}); // pouring: nothing while the level moves
    levels({900}, 4);
    // A splash that settles where the level was is no step.
    levels({960, 850, 905});
    levels({900}, 5);
    EXPECT_EQ(state_, "rsGuidedPourNext 25");
    levels({1300, 1700});
    levels({1700}, 5);
    EXPECT_EQ(rows_, rows({{"0", "100"}, {"12,5", "900"}, {"25", "1700"}}));
    EXPECT_EQ(announced_, (std::vector<std::string>{"0", "12,5", "25"}));
    // The trend marks the moments, on an axis that ends now.
    const std::uint32_t last = guided_.takenTicks().back();
    EXPECT_EQ(trendMarkPositions(guided_.takenTicks(), last, 20000).size(), 2u);
    EXPECT_EQ(trendMarkPositions(guided_.takenTicks(), last).back(), 1.0);
    EXPECT_EQ(trendMarkPositions(guided_.takenTicks(), last + kTrendSpanMs / 2).back(), 0.5);
    EXPECT_EQ(state_, "rsGuidedPourNext 37,5");
    EXPECT_TRUE(undo_);
}

TEST_F(GuidedPouringTest, aFallingLevelAndALevelThatNeverSettlesAreSaidNotRecorded) {
    switchOn("10", "5");
    levels({2000}, 4);
    ASSERT_EQ(rows_, rows({{"5", "2000"}}));
    for (std::uint32_t level = 1999; level >= 1960; --level) { // a slow leak
        levels({level});
    }
    EXPECT_EQ(state_, "rsGuidedLevelFalls");
    levels({2100, 2200}, 31); // a minute without a stable reply
    EXPECT_EQ(state_, "rsGuidedNotStable");
    EXPECT_EQ(rows_.size(), 1u);
}

TEST_F(GuidedPouringTest, aSensorLostMidwayIsSaidAndTheStepIsTakenWhenItIsBack) {
    switchOn("10");
    levels({2000}, 4);
    levels({2300, 2600});
    time_.advanceBy(GuidedPouring::kSettleWithinMs);
    EXPECT_EQ(state_, "rsGuidedNoReadings");
    EXPECT_EQ(rows_.size(), 1u);
    levels({2600}, 5);
    EXPECT_EQ(rows_, rows({{"0", "2000"}, {"10", "2600"}}));
}

TEST_F(GuidedPouringTest, undoStepsTheVolumeBackAndSwitchingOffLeavesAnOrdinaryTable) {
    switchOn("abc");
    EXPECT_FALSE(checked_);
    EXPECT_EQ(state_, "rsGuidedBadStep");
    levels({100}, 4);
    EXPECT_TRUE(rows_.empty());

    switchOn("10");
    levels({100}, 4);
    levels({500}, 4);
    ASSERT_EQ(rows_, rows({{"0", "100"}, {"10", "500"}}));
    guided_.UndoButtonClick();
    EXPECT_EQ(rows_, rows({{"0", "100"}}));
    EXPECT_EQ(state_, "rsGuidedUndone 10");
    levels({500}, 3); // where it stands is not a new step
    EXPECT_EQ(rows_.size(), 1u);
    levels({800}, 4); // the rest of the step poured
    EXPECT_EQ(rows_, rows({{"0", "100"}, {"10", "800"}}));

    guided_.GuidedCheckBoxClick(false);
    EXPECT_EQ(state_, "");
    EXPECT_FALSE(undo_);
    levels({1200}, 4);
    EXPECT_EQ(rows_.size(), 2u);
}

} // namespace
} // namespace vorkel
