#include "protocol/exchange_ending_owner.h"
#include "protocol/exchange_engine.h"
#include "sensor/readings.h"
#include "support/engine_fakes.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

using namespace test;
namespace rs = request_state;

const ByteString kPoll{0x31, 0x05, 0x04, 0x00, 0x00, 0x00, 0x00, 0x09};

class RecordingReadings : public ReadingsView {
public:
    void showVersion(const VersionDisplay& version) override { versions.push_back(version); }
    void showMeasuringModule(const std::string& text) override { module = text; }
    void showRawLevel(std::uint32_t level) override { levels.push_back(level); }

    std::vector<VersionDisplay> versions;
    std::string module;
    std::vector<std::uint32_t> levels;
};

class Engine : public ::testing::Test {
protected:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    FakePort port;
    FakeView view;
    RecordingReadings readings;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::function<void()> whileBoxIsOpen; // what happens during the next box's nested loop
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{englishText,
                                         [this](const std::string& m) { log.push_back(m); },
                                         [this](const std::string& text) { showBox(text); },
                                         [this] { return time.tickCount(); }}};
    ExchangeEndingOwner ending{engine};
    LiveReadings live{engine, readings};

    void SetUp() override {
        time.add(mainTimer);
        time.add(pollTimer);
        for (const CommandCode code : {CommandCode::WriteConfiguration,
                                       CommandCode::ReadConfiguration, CommandCode::CalibrateEmpty,
                                       CommandCode::CalibrateFull, CommandCode::WriteCalibration,
                                       CommandCode::ReadCalibration, CommandCode::FirmwareBlock}) {
            engine.setReplyOwner(code, &ending);
        }
        engine.setReplyOwner(CommandCode::ReadVersion, &live);
        engine.setReplyOwner(CommandCode::ReadLevel, &live);
        engine.setPortList({{"ttyUSB0", "ttyUSB0"}, {"COM3", "COM3"}});
        view.selectedIndex = 1;
        engine.setBuildIdentifier("0A1F");
    }

    void showBox(const std::string& text) {
        boxes.push_back(text);
        if (auto nested = std::exchange(whileBoxIsOpen, nullptr)) {
            nested();
        }
    }

    void answer(std::uint8_t code, FrameData payload) {
        engine.ReceiveData(bytesOf(reply(code, payload)));
    }
    void answerLevel(std::uint16_t level) {
        answer(0x05, FrameData{static_cast<std::uint8_t>(level & 0xFF),
                               static_cast<std::uint8_t>(level >> 8), 23, 0x12, 0x34});
    }
    // Started and attached: the first poll went out after 3 s and was answered.
    void attach() {
        engine.start();
        time.advanceBy(3000);
        answerLevel(100);
        log.clear();
        port.written.clear();
    }
    std::size_t count(const std::string& line) const {
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), line));
    }
};

TEST_F(Engine, opensTheSelectedPortAndPollsThreeSecondsLater) {
    engine.start();
    ASSERT_EQ(port.openings.size(), 1u);
    EXPECT_EQ(port.openings[0].path, "COM3");
    EXPECT_EQ(port.openings[0].baud, 19200u);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_EQ(view.levelDisplays, "blank");

    time.advanceBy(2999);
    EXPECT_TRUE(port.written.empty());
    time.advanceBy(1);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], kPoll);
    EXPECT_EQ(engine.requestState(), rs::kLevelPoll);
    EXPECT_TRUE(log.empty()); // a poll sent while idle is not logged
}

TEST_F(Engine, withoutASelectedPortNothingIsOpenedOrPolled) {
    view.selectedIndex = -1;
    engine.start();
    time.advanceBy(20000);
    EXPECT_TRUE(port.openings.empty());
    EXPECT_TRUE(port.written.empty());
}

TEST_F(Engine, anAnsweredPollAttachesAndTheNextFollowsASecondLater) {
    engine.updateCaption(); // as the window does at start-up
    engine.start();
    EXPECT_EQ(view.caption, "Configurator 1.8 CRC: 0A1F | NOT CONNECTED");
    time.advanceBy(3000);
    time.advanceBy(40);
    answerLevel(2048);
    EXPECT_TRUE(engine.isAttached());
    EXPECT_FALSE(engine.isSearching());
    EXPECT_EQ(view.caption, "Configurator 1.8 CRC: 0A1F | connected COM3");
    EXPECT_EQ(engine.sensorResetTime(), time.tickCount());
    EXPECT_EQ(readings.levels, std::vector<std::uint32_t>{2048});
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_FALSE(mainTimer.isActive());

    port.written.clear();
    time.advanceBy(999);
    EXPECT_TRUE(port.written.empty());
    time.advanceBy(1);
    EXPECT_EQ(port.written.size(), 1u);
    // A sensor that keeps answering is polled once a second.
    for (int i = 0; i < 5; ++i) {
        time.advanceBy(30);
        answerLevel(2048);
        time.advanceBy(1000);
    }
    EXPECT_EQ(port.written.size(), 6u);
    EXPECT_TRUE(log.empty());
}

TEST_F(Engine, aSilentSensorIsSearchedForAtBothBaudRates) {
    engine.start();
    time.advanceBy(3000); // the first poll
    for (int i = 0; i < 4; ++i) {
        time.advanceBy(2000);
    }
    EXPECT_EQ(count("Sensor response timeout!"), 4u);
    ASSERT_EQ(port.openings.size(), 5u);
    EXPECT_EQ(port.openings[1].baud, 9600u); // the first reopen leaves 19200
    EXPECT_EQ(port.openings[2].baud, 19200u);
    EXPECT_EQ(port.openings[3].baud, 9600u);
    EXPECT_EQ(port.openings[4].baud, 19200u);
    EXPECT_EQ(port.written.size(), 5u); // one poll after each reopen
    for (const ByteString& frame : port.written) {
        EXPECT_EQ(frame, kPoll);
    }
    EXPECT_TRUE(boxes.empty()); // a lost sensor is not a box
    EXPECT_EQ(view.caption, "Configurator 1.8 CRC: 0A1F | NOT CONNECTED");

    // Found again at whatever speed it answers.
    answerLevel(7);
    EXPECT_TRUE(engine.isAttached());
    EXPECT_EQ(view.caption, "Configurator 1.8 CRC: 0A1F | connected COM3");
}

TEST_F(Engine, aLostSensorIsMarkedNotConnectedAndPolledEveryTwoSeconds) {
    attach();
    time.advanceBy(1000); // poll
    time.advanceBy(2000); // no answer
    EXPECT_FALSE(engine.isAttached());
    EXPECT_TRUE(engine.isSearching());
    EXPECT_EQ(view.levelDisplays, "reset");
    EXPECT_EQ(view.caption, "Configurator 1.8 CRC: 0A1F | NOT CONNECTED");
    EXPECT_EQ(count("Sensor response timeout!"), 1u);
    EXPECT_EQ(port.openings.size(), 1u);
    EXPECT_EQ(port.written.back(), kPoll); // asked again at once
    // From now on the search switches the speed at every time-out.
    time.advanceBy(2000);
    EXPECT_EQ(count("Sensor response timeout!"), 2u);
    ASSERT_EQ(port.openings.size(), 2u);
    EXPECT_EQ(port.openings[1].baud, 9600u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Engine, anUnansweredCommandIsReportedOnceResentOnceThenPollingResumes) {
    attach();
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    const ByteString versionRead = port.written.back();
    time.advanceBy(2000);
    EXPECT_EQ(boxes, std::vector<std::string>{"No response from sensor!"});
    EXPECT_EQ(port.closings, 1);
    EXPECT_EQ(port.openings.size(), 2u);
    EXPECT_EQ(port.openings[1].baud, 19200u); // the same line, reset: no baud switch
    EXPECT_TRUE(view.commandControls);
    EXPECT_TRUE(view.startFlash);
    ASSERT_EQ(port.written.size(), 2u);
    EXPECT_EQ(port.written[1], versionRead); // sent once more, now as an ordinary frame
    EXPECT_EQ(engine.requestState(), rs::kIdle);

    // Idle again, so the poll follows a second later; unanswered, it loses the sensor, without
    // a second box.
    time.advanceBy(1000);
    EXPECT_EQ(port.written.back(), kPoll);
    time.advanceBy(2000);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(engine.isAttached());
    EXPECT_EQ(count("Sensor response timeout!"), 2u);
}

TEST_F(Engine, onlyFramesOfCommandsOutstandingAreLogged) {
    attach();
    // A command sent while idle is not logged ...
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kConfigurationRead);
    EXPECT_TRUE(log.empty());
    // ... its reply is, and so is the request sent while that command was outstanding.
    time.advanceBy(20);
    answer(0x59, FrameData{21, 1, 3, 1, 167});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "received:" + hexBytes(reply(0x59, FrameData{21, 1, 3, 1, 167})));
    EXPECT_EQ(log[1], "sent:31 02 00 00 00 00 00 02 ");
    EXPECT_EQ(engine.requestState(), rs::kIdle); // the configuration reply is awaited in state 1
    answer(0x02, FrameData{0x02, 0xF0, 1, 0, 0});
    EXPECT_EQ(log.size(), 2u); // answered in state 1: not logged
}

TEST_F(Engine, aReplyIsAssembledFromChunksAfterTheStartByte) {
    attach();
    time.advanceBy(1000);
    engine.ReceiveData({0x00, 0xFF, 0x3E, 0x05, 0x34});
    EXPECT_EQ(readings.levels.size(), 1u); // only the attaching reply so far
    EXPECT_TRUE(mainTimer.isActive());
    engine.ReceiveData({0x12, 0x00, 0x56, 0x78, 0x1A});
    ASSERT_EQ(readings.levels.size(), 2u);
    EXPECT_EQ(readings.levels[1], 0x234u);
    EXPECT_TRUE(boxes.empty()); // checksum 0x1A matched
}

TEST_F(Engine, bytesAfterAFrameInTheSameChunkAreDropped) {
    attach();
    time.advanceBy(1000);
    ByteString chunk = bytesOf(reply(0x05, {1, 0, 20, 0, 0}));
    const ByteString second = bytesOf(reply(0x05, {2, 0, 20, 0, 0}));
    chunk.insert(chunk.end(), second.begin(), second.begin() + 4);
    engine.ReceiveData(chunk);
    engine.ReceiveData(ByteString(second.begin() + 4, second.end()));
    EXPECT_EQ(readings.levels, (std::vector<std::uint32_t>{100, 1})); // the second never completes
}

TEST_F(Engine, aBadChecksumIsReportedOnceAndContactIsSearchedAgain) {
    attach();
    time.advanceBy(1000);
    Frame bad = reply(0x05, {5, 0, 20, 0, 0});
    bad[7] ^= 0x55;
    engine.ReceiveData(bytesOf(bad));
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Invalid response from sensor\r\nThe checksum does not match"});
    EXPECT_FALSE(engine.isAttached());
    EXPECT_TRUE(engine.isSearching());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_EQ(readings.levels.size(), 1u);
    // While searching, the next reply is taken without comparing its checksum.
    time.advanceBy(1000);
    engine.ReceiveData(bytesOf(bad));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(engine.isAttached());
    EXPECT_EQ(readings.levels.size(), 2u);
}

TEST_F(Engine, rightAfterStartAWrongChecksumIsAccepted) {
    engine.start();
    time.advanceBy(3000);
    Frame bad = reply(0x05, {9, 0, 20, 0, 0});
    bad[7] = 0;
    engine.ReceiveData(bytesOf(bad));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readings.levels, std::vector<std::uint32_t>{9});
}

TEST_F(Engine, anUnknownReplyCodeIsRejectedButTheSensorStaysAttached) {
    attach();
    time.advanceBy(1000);
    answer(0x10, FrameData{});
    EXPECT_EQ(boxes, std::vector<std::string>{
                         " Invalid response from sensor\r\n Response format not recognized"});
    EXPECT_TRUE(engine.isAttached());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_TRUE(view.commandControls);
}

TEST_F(Engine, aReplyGoesToTheOwnerOfItsStateAheadOfTheOwnerOfItsCode) {
    struct Counting : ReplyOwner {
        std::vector<std::uint8_t> states;
        std::uint8_t handleReply(const Frame&, std::uint8_t entryState) override {
            states.push_back(entryState);
            return rs::kIdle;
        }
    } codeOwner, stateOwner;
    engine.setReplyOwner(CommandCode::ReadCalibration, &codeOwner);
    engine.setReplyOwner(CommandCode::ReadCalibration, rs::kCalibrationToFile, &stateOwner);
    attach();
    for (const std::uint8_t state : {rs::kCalibrationToFile, rs::kCalibration}) {
        engine.SendCommand(CommandCode::ReadCalibration, FrameData{}, state);
        answer(0x57, FrameData{});
    }
    engine.setReplyOwner(CommandCode::ReadCalibration, rs::kCalibrationToFile, nullptr);
    engine.SendCommand(CommandCode::ReadCalibration, FrameData{}, rs::kCalibrationToFile);
    answer(0x57, FrameData{});
    EXPECT_EQ(stateOwner.states, std::vector<std::uint8_t>{rs::kCalibrationToFile});
    EXPECT_EQ(codeOwner.states,
              (std::vector<std::uint8_t>{rs::kCalibration, rs::kCalibrationToFile}));
}

TEST_F(Engine, aBootLoaderFrameShowsTheWaitingSensorAndSlowsThePoll) {
    attach();
    time.advanceBy(1000);
    Frame bootloader = reply(0x05, {0, 0, 0, 0, 0}, kBootloaderStart);
    bootloader[7] = 0xEE; // not checked
    engine.ReceiveData(bytesOf(bootloader));
    EXPECT_TRUE(engine.isAwaitingFirmware());
    EXPECT_EQ(view.caption,
              "Configurator 1.8 CRC: 0A1F | connected COM3 : WAITING FOR SENSOR RESPONSE");
    EXPECT_EQ(readings.levels.size(), 1u); // not handled as a level
    EXPECT_TRUE(boxes.empty());
    port.written.clear();
    time.advanceBy(2999);
    EXPECT_TRUE(port.written.empty());
    time.advanceBy(1);
    EXPECT_EQ(port.written.size(), 1u);
    // The next ordinary reply clears the flag; the caption keeps the text until it is rebuilt.
    answerLevel(5);
    EXPECT_FALSE(engine.isAwaitingFirmware());
}

TEST_F(Engine, attachingDuringACommandIsLogged) {
    engine.start();
    time.advanceBy(10);
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    answer(0x59, FrameData{21, 1, 3, 1, 167});
    EXPECT_EQ(count("Sensor connected: COM3"), 1u);
    ASSERT_EQ(readings.versions.size(), 1u);
    EXPECT_EQ(readings.versions[0].program, "1.21");
    EXPECT_EQ(readings.versions[0].bootloader, "1.3");
    EXPECT_EQ(readings.module, "167");
}

TEST_F(Engine, aReplyArrivingWhileAnErrorBoxIsOpenIsHandledOnItsOwn) {
    attach();
    time.advanceBy(1000);
    Frame bad = reply(0x05, {5, 0, 20, 0, 0});
    bad[7] ^= 1;
    // While the checksum box is open the next reply arrives, in two chunks.
    whileBoxIsOpen = [this] {
        const ByteString good = bytesOf(reply(0x05, {0x77, 0x01, 20, 0, 0}));
        engine.ReceiveData(ByteString(good.begin(), good.begin() + 3));
        engine.ReceiveData(ByteString(good.begin() + 3, good.end()));
    };
    engine.ReceiveData(bytesOf(bad));
    EXPECT_EQ(boxes.size(), 1u); // the box's frame was not handled twice
    EXPECT_EQ(readings.levels, (std::vector<std::uint32_t>{100, 0x177}));
    // The buffer is clean afterwards: the next reply assembles normally.
    time.advanceBy(1000);
    answerLevel(300);
    EXPECT_EQ(readings.levels.back(), 300u);
}

TEST_F(Engine, aLateReplyArrivingWhileTheTimeOutBoxIsOpenIsHandled) {
    attach();
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    // The reply comes just as the time-out has opened its box.
    whileBoxIsOpen = [this] { answer(0x59, FrameData{21, 1, 3, 1, 167}); };
    time.advanceBy(2000);
    EXPECT_EQ(boxes, std::vector<std::string>{"No response from sensor!"});
    ASSERT_EQ(readings.versions.size(), 1u);
    EXPECT_EQ(readings.versions[0].program, "1.21");
    // The time-out finishes its work: the line is reset and the frame sent once more.
    EXPECT_EQ(port.closings, 1);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    time.advanceBy(20);
    answer(0x59, FrameData{21, 1, 3, 1, 167});
    EXPECT_EQ(readings.versions.size(), 2u);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Engine, aPortThatCannotBeOpenedIsShownAndLeavesTheEngineSilent) {
    port.failOpen = true;
    engine.start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "TCOMPORT : cannot open COM3\rNo such file or directory");
    time.advanceBy(30000);
    EXPECT_TRUE(port.written.empty());

    // Choosing the port again tries again.
    port.failOpen = false;
    engine.comportComboBoxChange();
    EXPECT_FALSE(view.configurationControls);
    time.advanceBy(3000);
    EXPECT_EQ(port.written.size(), 1u);
}

TEST_F(Engine, aPortThatVanishesDuringTheSearchStopsThePolling) {
    attach();
    port.failOpen = true;        // the adapter was unplugged
    time.advanceBy(1000 + 2000); // the poll times out: lost, searching from now on
    EXPECT_TRUE(boxes.empty());
    time.advanceBy(2000); // the search reopens the port, which fails
    EXPECT_EQ(boxes.size(), 1u);
    const std::size_t written = port.written.size();
    time.advanceBy(20000);
    EXPECT_EQ(port.written.size(), written); // no error box every 2 s
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Engine, newRequestsReplaceTheOutstandingOne) {
    attach();
    time.advanceBy(1000); // a poll is outstanding
    engine.SendCommand(CommandCode::CalibrateEmpty, FrameData{}, rs::kCalibration);
    EXPECT_EQ(port.written.back(), (ByteString{0x31, 0x03, 0, 0, 0, 0, 0, 0x03}));
    answerLevel(42); // the poll's late reply ends the calibration exchange
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_EQ(readings.levels.back(), 42u);
}

TEST(HexBytes, writesTwoUpperCaseDigitsAndASpacePerByte) {
    const ByteString bytes{0x31, 0x05, 0xAB, 0x0F};
    EXPECT_EQ(hexBytes(bytes), "31 05 AB 0F ");
    EXPECT_EQ(hexBytes({}), "");
}

} // namespace
} // namespace vorkel
