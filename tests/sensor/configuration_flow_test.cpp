// Reading and writing the sensor's configuration, "Test 05" and the multiplier, against the
// engine in virtual time.
#include "sensor_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace vorkel {
namespace {

namespace rs = request_state;

class Configuration : public ::testing::Test, public test::SensorFlows {
protected:
    void SetUp() override { attach(); }

    // A whole read: the versions, then the record.
    void read(FrameData record) {
        configuration.readconfButtonClick();
        answer(0x59, {21, 1, 3, 1, 167});
        answer(0x02, record);
    }
    // A write up to the record on the wire; returns the record.
    FrameData writeRecord() {
        configuration.writeconfButtonClick();
        answer(0x02, {0, 0, 0, 0, 0});
        return frameData(lastSent());
    }
};

TEST_F(Configuration, aReadAsksForTheVersionsThenTheRecordAndFillsEveryControl) {
    configuration.readconfButtonClick();
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadVersion, FrameData{}));
    EXPECT_EQ(engine.requestState(), rs::kConfigurationRead);
    EXPECT_FALSE(engineView.commandControls);
    EXPECT_FALSE(engineView.configurationControls);
    answer(0x59, {21, 1, 3, 1, 167});
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadConfiguration, FrameData{}));
    EXPECT_EQ(engine.requestState(), rs::kIdle); // the record is answered in state 1

    answer(0x02, {0x3D, 0x01, 7, 0x85, 9});
    const ModeControls& mode = configurationView.mode;
    EXPECT_EQ(mode.outputMode, 1);
    EXPECT_EQ(mode.frequencyOutput, 1);
    EXPECT_EQ(mode.frequencyRange, 1);
    EXPECT_TRUE(mode.autoPush);
    EXPECT_EQ(mode.rs485Range, 1);
    EXPECT_EQ(mode.bitrate, 1);
    EXPECT_EQ(configurationView.analogControls, false);
    EXPECT_EQ(configurationView.rangeCaption, " [ REVERSE] from2.50V to 0.00V");
    EXPECT_EQ(configurationView.address, "7");
    EXPECT_EQ(multiplierView.shownPosition, -5);
    EXPECT_EQ(multiplierView.percent, "99.47 %");
    EXPECT_EQ(configurationView.items[static_cast<std::size_t>(configurationView.averaging)],
              "9 s");
    EXPECT_EQ(configurationView.rs485Caption, "RS-485\r\n(0..1023)");
    EXPECT_EQ(configuration.fullScale(), 1023u);
    EXPECT_TRUE(configurationView.writeButtons);
    EXPECT_TRUE(engineView.commandControls);
    EXPECT_TRUE(engineView.configurationControls);
    EXPECT_TRUE(engineView.startFlash);
    EXPECT_TRUE(engineView.multiplierButton); // whatever the output mode
}

TEST_F(Configuration, theControlsGiveBackTheBytesTheyShow) {
    struct Case {
        FrameData record;
        FrameData written;
    };
    const Case cases[] = {
        {{0x02, 0xF0, 1, 0x00, 0}, {0x02, 0xF0, 1, 0x00, 0}},
        {{0x3D, 0x01, 255, 0x85, 128}, {0x3D, 0x01, 255, 0x85, 128}},
        {{0xC2, 0x5A, 0, 0x7F, 64}, {0x02, 0x5A, 0, 0x7F, 64}}, // bits 6, 7 are lost
        {{0x02, 0xF0, 1, 0x80, 40}, {0x02, 0xF0, 1, 0x00, 40}}, // negative zero; no item 40
    };
    for (const Case& c : cases) {
        read(c.record);
        EXPECT_EQ(writeRecord(), c.written);
        answer(0x01, {});
    }
}

TEST_F(Configuration, anAveragingNoItemOffersGetsAnItemOfItsOwnUntilTheNextRead) {
    read({0x02, 0xF0, 1, 0, 40});
    ASSERT_EQ(configurationView.items.size(), 35u);
    EXPECT_EQ(configurationView.items.back(), "40 s");
    EXPECT_EQ(configurationView.averaging, 34);
    EXPECT_EQ(configuration.getAveraging(), 40);
    configuration.setAveraging(9);
    EXPECT_EQ(configurationView.items.size(), 34u);
    EXPECT_EQ(configuration.getAveraging(), 9);
}

TEST_F(Configuration, aRecordThatAnswersAPollFillsTheControlsButUnlocksNothing) {
    configuration.readconfButtonClick();
    answer(0x59, {21, 1, 3, 1, 167});
    engine.forceRequestState(rs::kLevelPoll); // the poll overtook the record
    engineView.configurationControls = false;
    answer(0x02, {0x02, 0xF0, 9, 0, 0});
    EXPECT_EQ(configurationView.address, "9");
    EXPECT_FALSE(configurationView.writeButtons);
    EXPECT_FALSE(engineView.configurationControls);
}

TEST_F(Configuration, readWriteAndTest05WaitForTheIdleEngine) {
    time.advanceBy(ExchangeEngine::kPollDelayMs); // a poll is outstanding
    port.written.clear();
    configuration.readconfButtonClick();
    configuration.writeconfButtonClick();
    configuration.test05buttonClick();
    EXPECT_TRUE(port.written.empty());

    answer(0x05, {0, 8, 22, 0, 0});
    configuration.test05buttonClick();
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadLevel, FrameData{1, 0, 0, 0, 0}));
    EXPECT_EQ(engine.requestState(), rs::kTest05);
    EXPECT_FALSE(engineView.configurationControls);

    // Unanswered, it goes once more in the idle state: still outstanding.
    time.advanceBy(ExchangeEngine::kReplyTimeoutMs);
    port.written.clear();
    configuration.readconfButtonClick();
    configuration.writeconfButtonClick();
    readings.ReadVersionButtonClick();
    EXPECT_TRUE(port.written.empty());
}

TEST_F(Configuration, aWriteSendsTheRecordFollowsTheNewBitRateAndPausesForTheRestart) {
    read({0x02, 0xF0, 1, 0, 0});
    configurationView.mode.bitrate = 1;
    configurationView.address = "12";
    configurationView.lower = "2";
    multiplierView.shownPosition = -5;

    configuration.writeconfButtonClick();
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadConfiguration, FrameData{}));
    EXPECT_FALSE(configurationView.writeButtons);
    EXPECT_FALSE(engineView.multiplierButton);
    EXPECT_EQ(readingsView.readingText(ReadingControl::Percent), "?");
    answer(0x02, {0x3D, 0, 0, 0, 0}); // its payload is not used
    EXPECT_EQ(lastSent(),
              buildRequest(CommandCode::WriteConfiguration, FrameData{0x22, 0xF2, 12, 0x85, 0}));
    EXPECT_EQ(engine.requestState(), rs::kConfigurationWrite);
    EXPECT_EQ(engine.currentBaud(), 9600u);

    const std::uint64_t acknowledged = time.now();
    bool waiting = false;
    duringPause = [&] {
        waiting = configuration.isWaitingForRestart();
        configuration.readconfButtonClick(); // a click in the pause sends nothing
    };
    const std::size_t sent = port.written.size();
    answer(0x01, {});
    EXPECT_EQ(informations, std::vector<std::string>{
                                "Information| Configuration data written to device\n Sensor has "
                                "been reset"});
    EXPECT_EQ(pauses, std::vector<std::uint32_t>{2800}); // 3000 ms with the box's time included
    EXPECT_TRUE(waiting);
    EXPECT_FALSE(configuration.isWaitingForRestart());
    EXPECT_EQ(time.now() - acknowledged, 3000u);
    EXPECT_EQ(port.written.size(), sent);
    EXPECT_EQ(engine.sensorResetTime(), acknowledged);
    EXPECT_FALSE(engineView.commandControls);
    EXPECT_EQ(readingsView.program, "?");
    EXPECT_FALSE(readingsView.rs485Options);
    EXPECT_FALSE(configurationView.writeButtons); // until the next read
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

// However the write was answered (at once, or only the retransmission after a time-out, which
// had already armed the poll), the sensor is left alone while it restarts: nothing goes out,
// bytes that come are not taken up, no time-out fires, and the poll resumes afterwards.
class QuietPause : public Configuration, public ::testing::WithParamInterface<bool> {};

TEST_P(QuietPause, sendsAndTakesUpNothingUntilThePollResumes) {
    const bool afterRetransmission = GetParam();
    read({0x02, 0xF0, 1, 0, 0});
    writeRecord();
    if (afterRetransmission) {
        time.advanceBy(ExchangeEngine::kReplyTimeoutMs);
        ASSERT_EQ(errors, std::vector<std::string>{"No response from sensor!"});
        ASSERT_EQ(engine.requestState(), rs::kIdle); // the record went again as a state-1 frame
    }
    const std::size_t sent = port.written.size();
    const std::string shownLevel = readingsView.currentLevel;
    duringPause = [&] {
        answer(0x05, {0x00, 0x02, 22, 0, 0}); // not handed to the engine
        configuration.readconfButtonClick();
    };
    const std::size_t logged = log.size();
    answer(0x01, {});
    EXPECT_EQ(port.written.size(), sent);
    EXPECT_EQ(readingsView.currentLevel, shownLevel);
    EXPECT_EQ(std::count(log.begin() + static_cast<std::ptrdiff_t>(logged), log.end(),
                         "Sensor response timeout!"),
              0);
    EXPECT_TRUE(engine.isAttached());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    time.advanceBy(ExchangeEngine::kPollDelayMs);
    ASSERT_EQ(port.written.size(), sent + 1);
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadLevel, ExchangeEngine::kPollData));
}

INSTANTIATE_TEST_SUITE_P(Configuration, QuietPause, ::testing::Bool());

TEST_F(Configuration, theSearchAfterAWriteThatChangesTheBitRateTriesTheNewRateFirst) {
    read({0x02, 0xF0, 1, 0, 0});
    configurationView.mode.bitrate = 1; // to 9600
    writeRecord();
    answer(0x01, {});
    const std::size_t opened = port.openings.size();
    // The sensor answers at 9600 now: the polls at 19200 go unanswered until the search
    // reopens the port.
    time.advanceBy(ExchangeEngine::kPollDelayMs + 2 * ExchangeEngine::kReplyTimeoutMs);
    ASSERT_EQ(port.openings.size(), opened + 1);
    EXPECT_EQ(port.openings.back().baud, 9600u);
    time.advanceBy(ExchangeEngine::kReplyTimeoutMs); // and then it alternates as ever
    EXPECT_EQ(port.openings.back().baud, 19200u);
}

TEST_F(Configuration, aTest05ReplyIsLoggedShownAndLeavesTheConfigurationControlsOff) {
    configuration.test05buttonClick();
    log.clear();
    answer(0x05, {0x00, 0x08, 22, 0, 0});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "received:3E 05 00 08 16 00 00 23 ");
    EXPECT_EQ(readingsView.currentLevel, "2048");
    EXPECT_FALSE(engineView.configurationControls);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

TEST_F(Configuration, anAddressTheRecordCannotHoldIsRefusedAndNothingIsSent) {
    read({0x02, 0xF0, 1, 0, 0});
    for (const std::string address : {"256", "99999999999999999999999"}) {
        configurationView.address = address;
        port.written.clear();
        errors.clear();
        configuration.writeconfButtonClick();
        EXPECT_TRUE(port.written.empty());
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], "Введено: " + address + "\r\n Enter a number from 0 to 255!");
        EXPECT_TRUE(configurationView.writeButtons);
    }
    configurationView.address = "";
    EXPECT_EQ(writeRecord()[2], 0); // no digits: address 0
}

TEST_F(Configuration, anAddressTypedDuringTheWriteIsCheckedAsTheRecordIsSent) {
    read({0x02, 0xF0, 1, 0, 0});
    configuration.writeconfButtonClick();
    configurationView.address = "300";
    port.written.clear();
    answer(0x02, {0, 0, 0, 0, 0});
    EXPECT_TRUE(port.written.empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_TRUE(engineView.commandControls);
    EXPECT_TRUE(configurationView.writeButtons);
    EXPECT_TRUE(engineView.multiplierButton);
}

TEST_F(Configuration, theOutputModeSwitchesItsControlsAndTheMultiplierButton) {
    configurationView.mode.outputMode = 1;
    configuration.outputmoderadioClick();
    EXPECT_EQ(configurationView.analogControls, false);
    EXPECT_FALSE(engineView.multiplierButton);
    configurationView.mode.outputMode = 0;
    configuration.outputmoderadioClick();
    EXPECT_EQ(configurationView.analogControls, true);
    EXPECT_TRUE(engineView.multiplierButton);
}

TEST_F(Configuration, theRs485RangeSetsItsCaptionAndTheFullScaleAtOnce) {
    configurationView.mode.rs485Range = 1;
    configuration.rs485rangeComboBoxChange();
    EXPECT_EQ(configurationView.rs485Caption, "RS-485\r\n(0..1023)");
    EXPECT_EQ(configuration.fullScale(), 1023u);
    configurationView.mode.rs485Range = 0;
    configuration.rs485rangeComboBoxChange();
    EXPECT_EQ(configurationView.rs485Caption, "RS-485\r\n(0..4095)");
    EXPECT_EQ(configuration.fullScale(), 4095u);
}

TEST_F(Configuration, theAddressEditKeepsDigitsAndTheCaret) {
    EXPECT_EQ(configuration.addressEditChange("1a2", 2), std::make_pair(std::string("12"), 2));
    EXPECT_EQ(configuration.addressEditChange("1a2", 3), std::make_pair(std::string("12"), 2));
}

class Multiplier : public ::testing::Test, public test::SensorFlows {};

TEST_F(Multiplier, aComputedMultiplierIsShownAndAWarningAsksForAWrite) {
    struct Case {
        int position;
        double voltage;
        int computed;
        std::string percent;
    };
    const Case cases[] = {{0, 19.0, 50, "105.26 %"},
                          {0, 20.0, 0, "100.00 %"},
                          {0, 21.0, -45, "95.26 %"},
                          {127, 18.0, 127, "113.37 %"}};
    for (const Case& c : cases) {
        multiplier.setTkoeff(c.position);
        dialogAnswer = c.voltage;
        warnings.clear();
        multiplier.tkoeffButtonClick();
        EXPECT_EQ(multiplier.getTKoeff(), c.computed);
        EXPECT_EQ(multiplierView.percent, c.percent);
        EXPECT_EQ(warnings, std::vector<std::string>{"Multiplier recomputed."});
    }
    port.written.clear();
    dialogAnswer.reset(); // the dialog was closed
    warnings.clear();
    multiplier.tkoeffButtonClick();
    EXPECT_EQ(multiplier.getTKoeff(), 127);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(port.written.empty()); // nothing goes to the sensor before a write
}

TEST_F(Multiplier, theDialogAcceptsEighteenToTwentyTwoVolts) {
    EXPECT_FALSE(voltageRefusal("18", measuredVoltage("18"), test::sensorText));
    EXPECT_FALSE(voltageRefusal("22", measuredVoltage("22"), test::sensorText));
    EXPECT_FALSE(voltageRefusal("19,5", measuredVoltage("19,5"), test::sensorText));
    EXPECT_TRUE(voltageRefusal("17.99", measuredVoltage("17.99"), test::sensorText));
    EXPECT_EQ(voltageRefusal("25", measuredVoltage("25"), test::sensorText),
              "Введено: 25\r\n Enter a number from 18 to 22!");
}

TEST_F(Multiplier, theUpDownsNotificationsRefreshThePercent) {
    multiplierView.shownPosition = -5;
    multiplier.tkoeffUpDownChanging();
    EXPECT_EQ(multiplierView.percent, "99.47 %");
    multiplierView.shownPosition = -127;
    multiplier.tkoeffUpDownClick();
    EXPECT_EQ(multiplierView.percent, "86.63 %");
    multiplier.setTkoeff(-128);
    EXPECT_EQ(multiplier.getTKoeff(), -127);
}

} // namespace
} // namespace vorkel
