#include "sensor/readings.h"
#include "sensor_fixture.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

Frame replyWith(std::uint8_t code, FrameData payload) {
    Frame frame{kReplyStart, code};
    std::copy(payload.begin(), payload.end(), frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return frame;
}

TEST(LevelReply, unpacksLevelCounterAndTemperature) {
    // Level 0xABC; counter 0x5_1234 (its top nibble shares byte 3 with the level's).
    const LevelReply decoded = decodeLevelReply(replyWith(0x05, {0xBC, 0x5A, 0xF6, 0x12, 0x34}));
    EXPECT_EQ(decoded.level, 0xABCu);
    EXPECT_EQ(decoded.counter, 0x51234u);
    EXPECT_EQ(decoded.temperature, -10);

    const LevelReply extremes = decodeLevelReply(replyWith(0x05, {0xFF, 0xFF, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(extremes.level, 4095u);
    EXPECT_EQ(extremes.counter, 0xFFFFFu);
    EXPECT_EQ(extremes.temperature, 127);
    EXPECT_EQ(decodeLevelReply(replyWith(0x05, {0, 0, 0x80, 0, 0})).temperature, -128);
}

TEST(VersionReply, takesTheBytesInTheirOrder) {
    const VersionReply version = decodeVersionReply(replyWith(0x59, {21, 1, 4, 2, 7}));
    const VersionDisplay display =
        versionDisplay(version.programFirst, version.programSecond, version.bootloaderFirst,
                       version.bootloaderSecond);
    EXPECT_EQ(display.program, "1.21");
    EXPECT_EQ(display.bootloader, "2.4");
    EXPECT_EQ(version.measuringModule, 7);
}

TEST(VersionDisplay, showsQuestionMarksForAZeroVersion) {
    const VersionDisplay zero = versionDisplay(0, 0, 1, 3);
    EXPECT_EQ(zero.program, "?");
    EXPECT_EQ(zero.bootloader, "?");
    EXPECT_FALSE(zero.rs485OptionsEnabled);
    EXPECT_EQ(versionDisplay(2, 0, 1, 3).program, "2.0"); // only both zero is "no version"
}

TEST(VersionDisplay, enablesTheRs485OptionsFromVersion21) {
    EXPECT_FALSE(versionDisplay(1, 20, 1, 3).rs485OptionsEnabled);
    EXPECT_TRUE(versionDisplay(1, 21, 1, 3).rs485OptionsEnabled);
    EXPECT_TRUE(versionDisplay(1, 255, 1, 3).rs485OptionsEnabled);
}

class Readings : public ::testing::Test, public test::SensorFlows {
protected:
    void SetUp() override {
        attach();
        readings.restartFilter({});
    }
    void level(std::uint16_t raw, std::uint8_t temperature = 22, std::uint32_t counter = 0) {
        answer(0x05, {static_cast<std::uint8_t>(raw & 0xFF),
                      static_cast<std::uint8_t>(((raw >> 8) & 0x0F) | ((counter >> 12) & 0xF0)),
                      temperature, static_cast<std::uint8_t>(counter >> 8),
                      static_cast<std::uint8_t>(counter)});
    }
    std::string shown(ReadingControl control) { return readingsView.readingText(control); }
};

TEST_F(Readings, aStableLevelMovesEveryDisplayInTheSettingsOfTheWindow) {
    struct Case {
        int rs485Range;
        int frequencyRange;
        std::string lower, upper;
        std::uint16_t raw;
        std::string percent;
        int bar;
        std::string frequency, voltage, averaged;
    };
    const Case cases[] = {
        {0, 0, "0", "15", 2048, "50.00 %", 2048, "1015.00", "10.00", "2048"},
        {0, 1, "0", "15", 4093, "99.98 %", 4095, "1019.76", "20.00", "4095"},
        {1, 0, "0", "15", 2000, "99.90 %", 4092, "1998.08", "19.98", "1023"},
        {0, 0, "1", "0", 2048, "50.00 %", 2048, "1015.00", "1.25", "2048"}, // reversed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        readings.restartFilter({});
        configurationView.mode.rs485Range = c.rs485Range;
        configurationView.mode.frequencyRange = c.frequencyRange;
        configurationView.lower = c.lower;
        configurationView.upper = c.upper;
        for (int i = 0; i < 4; ++i) {
            level(c.raw);
        }
        EXPECT_EQ(shown(ReadingControl::Raw), std::to_string(c.raw));
        EXPECT_EQ(shown(ReadingControl::Percent), c.percent);
        EXPECT_EQ(readingsView.bar, c.bar);
        EXPECT_EQ(shown(ReadingControl::Frequency), c.frequency);
        EXPECT_EQ(shown(ReadingControl::Voltage), c.voltage);
        EXPECT_EQ(readingsView.averagedLevel, c.averaged);
        EXPECT_EQ(readingsView.stable, true);
    }
}

TEST_F(Readings, whileTheWindowFillsOnlyTheRawLevelsMove) {
    level(100);
    level(101, 22, 0x51234);
    EXPECT_EQ(shown(ReadingControl::Raw), "101");
    EXPECT_EQ(readingsView.currentLevel, "101");
    EXPECT_EQ(readingsView.counter, "332340");
    EXPECT_EQ(shown(ReadingControl::Percent), ""); // untouched
    level(102);
    level(103);
    EXPECT_EQ(shown(ReadingControl::Percent), " 2.51 %");
    EXPECT_EQ(readingsView.currentLevel, "102"); // the window average while stable
    level(130);                                  // a jump restarts the filter
    EXPECT_EQ(readingsView.stable, false);
    EXPECT_EQ(shown(ReadingControl::Percent), " 2.51 %");

    // Every reply is in the trend, raw and with the stability shown after it.
    const LevelTrend& trend = readings.trend();
    ASSERT_EQ(trend.size(), 6u); // with the reply that attached the sensor
    const std::pair<std::uint32_t, bool> samples[] = {
        {100, false}, {101, false}, {102, false}, {103, true}, {130, false}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(trend.at(i + 1).raw, samples[i].first);
        EXPECT_EQ(trend.at(i + 1).stable, samples[i].second);
    }
}

// The trend shows one sensor on one full scale: whatever may end that starts it anew.
TEST_F(Readings, aLostSensorAReopenOrAnotherFullScaleStartsANewTrend) {
    const std::pair<const char*, std::function<void()>> occasions[] = {
        {"lost", [this] { readings.blankForLostSensor(); }},
        {"reopen or configuration write", [this] { readings.blankWhileConfigurationChanges(); }},
        {"full scale", [this] { configurationView.mode.rs485Range ^= 1; }},
    };
    for (const auto& [occasion, happen] : occasions) {
        level(100);
        happen();
        level(200);
        ASSERT_EQ(readings.trend().size(), 1u) << occasion;
        EXPECT_EQ(readings.trend().at(0).raw, 200u) << occasion;
    }
}

TEST_F(Readings, litresAreShownWhenTheConversionHasAValue) {
    std::optional<std::string> liters;
    LiveReadings withLiters(engine, readingsView,
                            ReadingsServices{[this] { return time.tickCount(); },
                                             [] { return 4095u; }, [] { return 1970u; },
                                             [] { return OutputVoltages{}; },
                                             [&](std::uint32_t) { return liters; }});
    withLiters.setLevelDirect(100);
    EXPECT_EQ(readingsView.liters, "0.0");
    liters = "12.500";
    withLiters.setLevelDirect(100);
    EXPECT_EQ(readingsView.liters, "12.500");
}

TEST_F(Readings, theTemperatureHoldsStillForEightSecondsAfterTheSensorReset) {
    level(2048, 0xF6);
    EXPECT_EQ(readingsView.temperature, "");
    time.advanceBy(LiveReadings::kTemperatureHoldMs); // exactly 8000 ms: still held
    readings.setTemp(-10);
    EXPECT_EQ(readingsView.temperature, "");
    time.advanceBy(1);
    readings.setTemp(-10);
    EXPECT_EQ(readingsView.temperature, "-10");
    engine.recordSensorResetTime(); // a restart holds it again
    readings.setTemp(5);
    EXPECT_EQ(readingsView.temperature, "-10");
}

TEST_F(Readings, aVersionReplyShowsTheVersionsAndSwitchesTheRs485Options) {
    answer(0x59, {21, 1, 4, 2, 7});
    EXPECT_EQ(readingsView.program, "1.21");
    EXPECT_EQ(readingsView.bootloader, "2.4");
    EXPECT_EQ(readingsView.module, "7");
    EXPECT_TRUE(readingsView.rs485Options);
    readings.setVersion(0, 0, 0, 0);
    EXPECT_EQ(readingsView.program, "?");
    EXPECT_FALSE(readingsView.rs485Options);
}

TEST_F(Readings, readingTheVersionWaitsForTheIdleEngine) {
    time.advanceBy(ExchangeEngine::kPollDelayMs); // a poll is outstanding
    port.written.clear();
    readings.ReadVersionButtonClick();
    EXPECT_TRUE(port.written.empty());
    level(2048);
    readings.ReadVersionButtonClick();
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadVersion, FrameData{}));
    EXPECT_EQ(engine.requestState(), request_state::kVersionRead);
    EXPECT_FALSE(engineView.commandControls);
    answer(0x59, {21, 1, 4, 2, 7}); // in state 12 nothing follows
    EXPECT_EQ(engine.requestState(), request_state::kIdle);
    EXPECT_TRUE(engineView.commandControls);
}

TEST_F(Readings, selectingAReadingHighlightsItAloneAndGivesItsText) {
    readings.selectlitercontrol(ReadingControl::Percent);
    level(2048);
    readings.selectlitercontrol(ReadingControl::Raw);
    EXPECT_EQ(readingsView.highlighted[ReadingControl::Percent], false);
    EXPECT_EQ(readingsView.highlighted[ReadingControl::Raw], true);
    EXPECT_EQ(readings.selectedReadingText(), "2048");
}

TEST_F(Readings, theTwoBlanksShowWhatTheirOccasionNeeds) {
    answer(0x59, {21, 1, 4, 2, 7});
    readings.blankWhileConfigurationChanges();
    EXPECT_EQ(shown(ReadingControl::Percent), "?");
    EXPECT_EQ(shown(ReadingControl::Raw), "");
    EXPECT_EQ(readingsView.bar, 0);
    EXPECT_EQ(readingsView.program, "1.21"); // versions stay
    readings.blankForLostSensor();
    EXPECT_EQ(shown(ReadingControl::Percent), "000");
    EXPECT_EQ(shown(ReadingControl::Raw), "0000");
    EXPECT_EQ(shown(ReadingControl::Voltage), "000");
    EXPECT_EQ(shown(ReadingControl::Frequency), "000");
    EXPECT_EQ(readingsView.program, "");
    EXPECT_EQ(readingsView.module, "");
}

TEST_F(Readings, theObserverIsToldEveryReplyWithTheLevelOnlyWhenItWasStable) {
    std::vector<std::optional<std::uint32_t>> stable;
    readings.setLevelObserver(
        [&](const LevelObservation& observation) { stable.push_back(observation.stableLevel); });
    for (const std::uint32_t raw : {100u, 101u, 102u, 103u, 130u}) {
        readings.setLevel(raw);
    }
    EXPECT_EQ(stable, (std::vector<std::optional<std::uint32_t>>{{}, {}, {}, 103u, {}}));
}

} // namespace
} // namespace vorkel
