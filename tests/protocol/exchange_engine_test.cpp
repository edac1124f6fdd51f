#include "protocol/exchange_ending_owner.h"
#include "protocol/exchange_engine.h"
#include "support/engine_fakes.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

using namespace test;
namespace rs = request_state;

const ByteString kPoll{0x31, 0x05, 0x04, 0x00, 0x00, 0x00, 0x00, 0x09};
const std::string kCaption = "Configurator 1.8 CRC: 0A1F | ";

// Stands in for the live readings, the owner of the level and version replies: records what
// it is handed and, like them, gives the command controls back and reads the configuration
// after a version read that begins one.
class RecordingReadings : public ReplyOwner {
public:
    explicit RecordingReadings(ExchangeEngine& engine)
        : engine_(engine) {}

    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override {
        engine_.view().enableCommandControls(true);
        if (reply[frame_offset::kCode] == toByte(CommandCode::ReadVersion)) {
            versions.push_back(reply);
            if (entryState == rs::kConfigurationRead) {
                engine_.SendCommand(CommandCode::ReadConfiguration, FrameData{},
                                    rs::kConfigurationWrite);
            }
        } else {
            levels.push_back(static_cast<std::uint32_t>((reply[3] & 0x0F) << 8 | reply[2]));
        }
        return rs::kIdle;
    }

    std::vector<Frame> versions;
    std::vector<std::uint32_t> levels;

private:
    ExchangeEngine& engine_;
};

// Public, so that the steps of the table-driven tests below can drive it.
class Engine : public ::testing::Test {
public:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    FakePort port;
    FakeView view;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::function<void()> whileBoxIsOpen; // what happens during the next box's nested loop
    int abandoned = 0;                    // firmware transfers abandoned
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{englishText,
                                         [this](const std::string& m) { log.push_back(m); },
                                         [this](const std::string& text) { showBox(text); },
                                         [this] { return time.tickCount(); }}};
    ExchangeEndingOwner ending{engine};
    RecordingReadings readings{engine};

    void SetUp() override {
        time.add(mainTimer);
        time.add(pollTimer);
        for (const CommandCode code : {CommandCode::WriteConfiguration,
                                       CommandCode::ReadConfiguration, CommandCode::CalibrateEmpty,
                                       CommandCode::CalibrateFull, CommandCode::WriteCalibration,
                                       CommandCode::ReadCalibration, CommandCode::FirmwareBlock}) {
            engine.setReplyOwner(code, &ending);
        }
        engine.setReplyOwner(CommandCode::ReadVersion, &readings);
        engine.setReplyOwner(CommandCode::ReadLevel, &readings);
        engine.setPortList({{"ttyUSB0", "ttyUSB0"}, {"COM3", "COM3"}});
        view.selectedIndex = 1;
        engine.setBuildIdentifier("0A1F");
        engine.setAbandonTransfer([this] { ++abandoned; });
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
    // The controls that the error paths and the ends of exchanges switch back on, off.
    void switchControlsOff() {
        view.commandControls = false;
        view.startFlash = false;
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

TEST_F(Engine, withoutASelectedPortNothingIsOpenedOrPolledAndUpdateIsOff) {
    view.selectedIndex = -1;
    view.startFlash = true;
    engine.start();
    time.advanceBy(20000);
    EXPECT_TRUE(port.openings.empty());
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(view.startFlash);
    // Nothing switches it on while no port is open, and the time-out never opens the
    // component's default port.
    engine.enableStartFlash(true);
    EXPECT_FALSE(view.startFlash);
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    time.advanceBy(2000);
    EXPECT_TRUE(port.openings.empty());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    view.selectedIndex = 1;
    engine.comportComboBoxChange();
    EXPECT_TRUE(view.startFlash);
}

TEST_F(Engine, anAnsweredPollAttachesAndTheNextFollowsASecondLater) {
    engine.start();
    time.advanceBy(3000);
    time.advanceBy(40);
    answerLevel(2048);
    EXPECT_TRUE(engine.isAttached());
    EXPECT_FALSE(engine.isSearching());
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

struct CaptionCase {
    const char* name;
    std::function<void(Engine&)> reach;
    std::string caption;
    friend void PrintTo(const CaptionCase& c, std::ostream* os) { *os << c.name; }
};

class EngineCaption : public Engine, public ::testing::WithParamInterface<CaptionCase> {};

void startUp(Engine& e) {
    e.engine.updateCaption(); // as the window does at start-up
    e.engine.start();
}
void badChecksum(Engine& e) {
    Frame bad = reply(0x05, {5, 0, 20, 0, 0});
    bad[7] ^= 0x55;
    e.engine.ReceiveData(bytesOf(bad));
}
void bootLoaderFrame(Engine& e) {
    e.engine.ReceiveData(bytesOf(reply(0x05, {}, kBootloaderStart)));
}

TEST_P(EngineCaption, showsTheConnection) {
    GetParam().reach(*this);
    EXPECT_EQ(view.caption, kCaption + GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineCaption,
    ::testing::Values(
        CaptionCase{"atStartUp", startUp, "NOT CONNECTED"},
        CaptionCase{"attached", [](Engine& e) { e.attach(); }, "connected COM3"},
        CaptionCase{"lost",
                    [](Engine& e) {
                        e.attach();
                        e.time.advanceBy(1000 + 2000);
                    },
                    "NOT CONNECTED"},
        CaptionCase{"searched",
                    [](Engine& e) {
                        startUp(e);
                        e.time.advanceBy(3000 + 4 * 2000);
                    },
                    "NOT CONNECTED"},
        CaptionCase{"badChecksum",
                    [](Engine& e) {
                        e.attach();
                        badChecksum(e);
                    },
                    "NOT CONNECTED"},
        CaptionCase{"bootLoader",
                    [](Engine& e) {
                        e.attach();
                        bootLoaderFrame(e);
                    },
                    "connected COM3 : WAITING FOR SENSOR RESPONSE"},
        // The reply that clears the waiting flag rebuilds the caption before it does so.
        CaptionCase{"firstReplyAfterBootLoader",
                    [](Engine& e) {
                        e.attach();
                        bootLoaderFrame(e);
                        e.answerLevel(5);
                    },
                    "connected COM3 : WAITING FOR SENSOR RESPONSE"},
        CaptionCase{"secondReplyAfterBootLoader",
                    [](Engine& e) {
                        e.attach();
                        bootLoaderFrame(e);
                        e.answerLevel(5);
                        e.answerLevel(6);
                    },
                    "connected COM3"}),
    [](const ::testing::TestParamInfo<CaptionCase>& info) { return info.param.name; });

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

    // Found again at whatever speed it answers.
    answerLevel(7);
    EXPECT_TRUE(engine.isAttached());
}

TEST_F(Engine, aLostSensorIsMarkedNotConnectedAndPolledEveryTwoSeconds) {
    attach();
    time.advanceBy(1000); // poll
    time.advanceBy(2000); // no answer
    EXPECT_FALSE(engine.isAttached());
    EXPECT_TRUE(engine.isSearching());
    EXPECT_EQ(view.levelDisplays, "reset");
    EXPECT_EQ(count("Sensor response timeout!"), 1u);
    EXPECT_EQ(port.openings.size(), 1u);
    // Asked again at once, as a poll: its own time-out is a poll's again.
    EXPECT_EQ(port.written.back(), kPoll);
    EXPECT_EQ(engine.requestState(), rs::kLevelPoll);
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
    ASSERT_EQ(port.written.size(), 2u);
    EXPECT_EQ(port.written[1], versionRead); // sent once more, now as an ordinary frame
    EXPECT_EQ(engine.requestState(), rs::kIdle);

    // No poll beside it; unanswered too, it loses the sensor, without a second box, and the
    // polling resumes.
    time.advanceBy(1999);
    EXPECT_EQ(port.written.size(), 2u);
    time.advanceBy(1);
    EXPECT_EQ(port.written.back(), kPoll);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(engine.isAttached());
    EXPECT_EQ(count("Sensor response timeout!"), 2u);
}

TEST_F(Engine, aReplyWhileIdleWithNothingScheduledArmsThePoll) {
    attach();
    // A firmware block goes unanswered: the time-out resends it in state 1, and with the
    // boot loader waiting, entering idle scheduled no poll.
    engine.setAwaitingFirmware(true);
    engine.SendCommand(CommandCode::FirmwareBlock, FrameData{0, 0, 0x12, 0x34, 7},
                       rs::kFirmwareUpdate);
    time.advanceBy(2000);
    ASSERT_EQ(engine.requestState(), rs::kIdle);
    ASSERT_FALSE(pollTimer.isActive());
    time.advanceBy(30);
    answer(0x58, FrameData{0, 0, 0x12, 0x34, 7}); // idle before and after
    port.written.clear();
    time.advanceBy(1000);
    EXPECT_EQ(port.written, std::vector<ByteString>{kPoll});
}

// The states in which a frame is not logged: the poll, the firmware blocks, and idle.
struct LogCase {
    std::uint8_t state;
    bool logged;
    friend void PrintTo(const LogCase& c, std::ostream* os) { *os << "state " << int(c.state); }
};

class EngineLog : public Engine, public ::testing::WithParamInterface<LogCase> {};

TEST_P(EngineLog, logsFramesOnlyWhileACommandIsOutstanding) {
    attach();
    const std::uint8_t state = GetParam().state;
    // A reply: the whole chunk is logged, before the bytes beyond the frame are dropped.
    engine.SendCommand(CommandCode::ReadLevel, ExchangeEngine::kPollData, state);
    ByteString chunk = bytesOf(reply(0x05, {1, 0, 20, 0, 0}));
    const ByteString nextReplysStart{0x3E, 0x05, 0x00, 0x01};
    chunk.insert(chunk.end(), nextReplysStart.begin(), nextReplysStart.end());
    engine.ReceiveData(chunk);
    // A request: logged when it leaves an exchange of the state.
    engine.SendCommand(CommandCode::ReadLevel, ExchangeEngine::kPollData, state);
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);

    if (GetParam().logged) {
        EXPECT_EQ(log, (std::vector<std::string>{"received:" + hexBytes(chunk),
                                                 "sent:31 59 00 00 00 00 00 59 "}));
    } else {
        EXPECT_TRUE(log.empty()) << log.front();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineLog,
    ::testing::Values(LogCase{rs::kIdle, false}, LogCase{rs::kLevelPoll, false},
                      LogCase{rs::kFirmwareUpdate, false}, LogCase{rs::kConfigurationWrite, true},
                      LogCase{rs::kConfigurationWriteStep1, true}, LogCase{rs::kTest05, true},
                      LogCase{rs::kConfigurationRead, true}, LogCase{rs::kVersionRead, true},
                      LogCase{rs::kCalibrationToFile, true},
                      LogCase{rs::kCalibrationFromFile, true}, LogCase{rs::kCalibration, true},
                      LogCase{rs::kCalibrationWrite, true}),
    [](const ::testing::TestParamInfo<LogCase>& info) {
        return "state" + std::to_string(info.param.state);
    });

TEST_F(Engine, theRequestThatFollowsAVersionReadIsLoggedAndAnsweredIdle) {
    attach();
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kConfigurationRead);
    answer(0x59, FrameData{21, 1, 3, 1, 167});
    EXPECT_EQ(log.back(), "sent:31 02 00 00 00 00 00 02 ");
    EXPECT_EQ(engine.requestState(), rs::kIdle); // the configuration reply is awaited in state 1

    // No poll beside it, also while a box about its reply is open.
    const ByteString read = port.written.back();
    Frame corrupted = reply(0x02, FrameData{2, 0xF0, 1, 0, 0});
    ++corrupted[frame_offset::kChecksum];
    whileBoxIsOpen = [this] { time.advanceBy(1500); };
    time.advanceBy(500);
    engine.ReceiveData(bytesOf(corrupted));
    EXPECT_EQ(port.written.back(), read);
    time.advanceBy(999); // the poll follows the failed reply a second later
    EXPECT_EQ(port.written.back(), read);
    time.advanceBy(1);
    EXPECT_EQ(port.written.back(), kPoll);
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
}

// Every way an exchange can fail gives the controls back and abandons a firmware transfer.
struct FailureCase {
    const char* name;
    std::function<void(Engine&)> fail;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class EngineFailure : public Engine, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(EngineFailure, givesTheControlsBackAndAbandonsTheTransfer) {
    attach();
    time.advanceBy(1000); // a poll is outstanding
    switchControlsOff();
    abandoned = 0;
    GetParam().fail(*this);
    EXPECT_TRUE(view.commandControls);
    EXPECT_TRUE(view.startFlash);
    EXPECT_GE(abandoned, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineFailure,
    ::testing::Values(FailureCase{"badChecksum", badChecksum},
                      FailureCase{"unknownCode", [](Engine& e) { e.answer(0x10, FrameData{}); }},
                      FailureCase{"bootLoaderFrame", bootLoaderFrame},
                      FailureCase{"unansweredPoll", [](Engine& e) { e.time.advanceBy(2000); }},
                      FailureCase{"unansweredPollWhileSearching",
                                  [](Engine& e) {
                                      e.time.advanceBy(2000);
                                      e.switchControlsOff();
                                      e.time.advanceBy(2000);
                                  }},
                      FailureCase{"unansweredCommand",
                                  [](Engine& e) {
                                      e.engine.SendCommand(CommandCode::ReadVersion, FrameData{},
                                                           rs::kVersionRead);
                                      e.time.advanceBy(2000);
                                  }}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(Engine, theTimeOutGivesTheControlsBackAfterItsBoxUnlessALateReplyEndedTheExchange) {
    attach();
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    switchControlsOff();
    bool enabledWhileBoxOpen = true;
    whileBoxIsOpen = [&] { enabledWhileBoxOpen = view.commandControls; };
    time.advanceBy(2000);
    EXPECT_FALSE(enabledWhileBoxOpen);
    EXPECT_TRUE(view.commandControls);
    EXPECT_TRUE(view.startFlash);

    // A late reply whose owner keeps the controls off (as the next block of an update does):
    // the time-out leaves them and the progress bar as they are.
    engine.setReplyOwner(CommandCode::FirmwareBlock, nullptr);
    struct Continuing : ReplyOwner {
        std::uint8_t handleReply(const Frame&, std::uint8_t) override {
            return rs::kFirmwareUpdate;
        }
    } continuing;
    engine.setReplyOwner(CommandCode::FirmwareBlock, &continuing);
    time.advanceBy(2000); // the retransmission's time-out: idle again, polling
    answerLevel(100);
    engine.SendCommand(CommandCode::FirmwareBlock, FrameData{}, rs::kFirmwareUpdate);
    switchControlsOff();
    view.progressBarShown = true;
    whileBoxIsOpen = [this] { answer(0x58, FrameData{}); };
    time.advanceBy(2000);
    EXPECT_FALSE(view.commandControls);
    EXPECT_FALSE(view.startFlash);
    EXPECT_TRUE(view.progressBarShown);
    EXPECT_EQ(engine.requestState(), rs::kFirmwareUpdate);
}

// The port cannot be had again inside a command's time-out (the adapter was pulled): the
// command ends through its failure path with one box, the engine is idle, so the window can
// close, and nothing more goes out until a port is chosen.
struct LostPortCase {
    const char* name;
    bool searching; // the reopen of the search fails, else the line reset after the box
    std::string box;
    friend void PrintTo(const LostPortCase& c, std::ostream* os) { *os << c.name; }
};

class EngineLostPort : public Engine, public ::testing::WithParamInterface<LostPortCase> {};

TEST_P(EngineLostPort, endsTheCommandAndFallsSilent) {
    if (GetParam().searching) {
        engine.start(); // never answered: searching
    } else {
        attach();
    }
    view.startFlash = true;
    engine.SendCommand(CommandCode::FirmwareBlock, FrameData{}, rs::kFirmwareUpdate);
    switchControlsOff();
    port.failOpen = true;
    const std::size_t written = port.written.size();
    time.advanceBy(2000);
    EXPECT_EQ(boxes, std::vector<std::string>{GetParam().box});
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_FALSE(engine.isPortOpen());
    EXPECT_GE(abandoned, 1);
    EXPECT_TRUE(view.commandControls);
    EXPECT_FALSE(view.startFlash) << "Update needs an open port";
    // Nothing answers on a closed port: not "connected", and no readings of the lost sensor.
    EXPECT_TRUE(view.caption.ends_with("| NOT CONNECTED")) << view.caption;
    EXPECT_EQ(view.levelDisplays, "reset");
    EXPECT_EQ(engine.portLosses(), 1u);
    EXPECT_EQ(engine.lostPort()->name, "COM3");
    time.advanceBy(20000);
    EXPECT_EQ(port.written.size(), written);
    EXPECT_EQ(boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineLostPort,
    ::testing::Values(
        LostPortCase{"searchReopen", true, "TCOMPORT : cannot open COM3\rNo such file or directory"},
        LostPortCase{"lineReset", false, "No response from sensor!"}),
    [](const ::testing::TestParamInfo<LostPortCase>& info) { return info.param.name; });

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
    EXPECT_EQ(readings.levels.size(), 1u); // not handled as a level
    EXPECT_TRUE(boxes.empty());
    port.written.clear();
    time.advanceBy(2999);
    EXPECT_TRUE(port.written.empty());
    time.advanceBy(1);
    EXPECT_EQ(port.written.size(), 1u);
    answerLevel(5); // the next ordinary reply clears the flag
    EXPECT_FALSE(engine.isAwaitingFirmware());
}

TEST_F(Engine, inAFirmwareUpdateAFrameBeginningWithOneIsAnOrdinaryReply) {
    attach();
    engine.SendCommand(CommandCode::FirmwareBlock, FrameData{0, 0, 0x12, 0x34, 7},
                       rs::kFirmwareUpdate);
    switchControlsOff();
    engine.ReceiveData(bytesOf(reply(0x58, {0, 0, 0x12, 0x34, 7}, kBootloaderStart)));
    EXPECT_FALSE(engine.isAwaitingFirmware());
    EXPECT_TRUE(view.commandControls); // its owner ended the exchange
    EXPECT_EQ(abandoned, 0);
    // ... and so its checksum is compared.
    engine.SendCommand(CommandCode::FirmwareBlock, FrameData{}, rs::kFirmwareUpdate);
    Frame bad = reply(0x58, {}, kBootloaderStart);
    bad[7] ^= 1;
    engine.ReceiveData(bytesOf(bad));
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Invalid response from sensor\r\nThe checksum does not match"});
}

TEST_F(Engine, attachingDuringACommandIsLogged) {
    engine.start();
    time.advanceBy(10);
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    answer(0x59, FrameData{21, 1, 3, 1, 167});
    EXPECT_EQ(count("Sensor connected: COM3"), 1u);
    EXPECT_EQ(readings.versions.size(), 1u);
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

// The reply comes just as the time-out has opened its box: the command was carried out, so it
// is not sent again, and what its reply started is left alone.
struct LateReplyCase {
    const char* name;
    std::uint8_t state;
    std::vector<ByteString> written; // after the box has closed
    std::uint32_t pollAfterMs;       // a poll never joins a request still waiting
    friend void PrintTo(const LateReplyCase& c, std::ostream* os) { *os << c.name; }
};

class EngineLateReply : public Engine, public ::testing::WithParamInterface<LateReplyCase> {};

TEST_P(EngineLateReply, isHandledAndTheCommandIsNotSentAgain) {
    attach();
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, GetParam().state);
    whileBoxIsOpen = [this] { answer(0x59, FrameData{21, 1, 3, 1, 167}); };
    time.advanceBy(2000);
    EXPECT_EQ(boxes, std::vector<std::string>{"No response from sensor!"});
    ASSERT_EQ(readings.versions.size(), 1u);
    EXPECT_EQ(port.written, GetParam().written);
    EXPECT_EQ(port.closings, 0); // no line reset under a follow-up on its way
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    port.written.clear();
    time.advanceBy(GetParam().pollAfterMs - 1);
    EXPECT_TRUE(port.written.empty());
    time.advanceBy(1);
    EXPECT_EQ(port.written, std::vector<ByteString>{kPoll});
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineLateReply,
    ::testing::Values(
        LateReplyCase{"versionRead", rs::kVersionRead, {{0x31, 0x59, 0, 0, 0, 0, 0, 0x59}}, 1000},
        // The read that follows is waited for until its own time-out.
        LateReplyCase{"configurationRead",
                      rs::kConfigurationRead,
                      {{0x31, 0x59, 0, 0, 0, 0, 0, 0x59}, {0x31, 0x02, 0, 0, 0, 0, 0, 0x02}},
                      ExchangeEngine::kReplyTimeoutMs}),
    [](const ::testing::TestParamInfo<LateReplyCase>& info) { return info.param.name; });

TEST_F(Engine, aPortChangeLeavesNothingOfTheOldConnection) {
    attach();
    // Half a reply is in the buffer when the port changes: its rest must not complete it.
    time.advanceBy(1000);
    engine.ReceiveData({0x3E, 0x05, 0x34});
    view.multiplierButton = true;
    engine.comportComboBoxChange();
    EXPECT_FALSE(view.multiplierButton);
    EXPECT_FALSE(view.configurationControls);
    EXPECT_EQ(view.levelDisplays, "blank");
    engine.ReceiveData({0x12, 0x00, 0x56, 0x78, 0x1A});
    EXPECT_EQ(readings.levels.size(), 1u);

    // A port chosen while a time-out's box is open: the old command is not sent on the new line.
    answerLevel(200);
    engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
    whileBoxIsOpen = [this] { engine.comportComboBoxChange(); };
    port.written.clear();
    time.advanceBy(2000);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(port.written.empty());
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

TEST_F(Engine, aPortOpenedAfreshWhileATimeOutsBoxIsOpenSendsOnlyItsOwnPoll) {
    // The time-out's box of a failed search reopen, and that of an unanswered command.
    for (const bool command : {false, true}) {
        SCOPED_TRACE(command ? "command" : "search");
        attach();
        if (command) {
            engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
        } else {
            port.failOpen = true;
            time.advanceBy(1000 + 2000); // the poll times out: searching from now on
        }
        whileBoxIsOpen = [this] { // the adapter is back; the port list opens it again
            port.failOpen = false;
            EXPECT_EQ(engine.openQuietly(), "");
            time.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs);
        };
        port.written.clear();
        boxes.clear();
        time.advanceBy(2000);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(port.written, std::vector<ByteString>{kPoll}); // no second request beside it
        EXPECT_TRUE(mainTimer.isActive());
        EXPECT_TRUE(view.commandControls);
        engine.comportComboBoxChange(); // the next case starts from a fresh open
    }
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

// Flows whose subsystem is not there yet end idle when their reply comes, with the controls
// back on, instead of waiting in the state of a follow-up that is never sent.
struct EndingCase {
    const char* name;
    CommandCode code;
    std::uint8_t state;
    bool commandControls;
    bool startFlash;
    friend void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }
};

class EngineEnding : public Engine, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(EngineEnding, endsTheExchangeIdleWithoutAFollowUp) {
    const EndingCase& c = GetParam();
    attach();
    engine.SendCommand(c.code, FrameData{}, c.state);
    switchControlsOff();
    const std::size_t written = port.written.size();
    answer(toByte(c.code), FrameData{});
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_EQ(port.written.size(), written);
    EXPECT_FALSE(mainTimer.isActive());
    EXPECT_EQ(view.commandControls, c.commandControls);
    EXPECT_EQ(view.startFlash, c.startFlash);
    time.advanceBy(1000);
    EXPECT_EQ(port.written.back(), kPoll);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineEnding,
    ::testing::Values(
        EndingCase{"configurationWrite", CommandCode::WriteConfiguration, 4, false, false},
        EndingCase{"configurationWriteStep1", CommandCode::ReadConfiguration, 5, true, false},
        EndingCase{"firmwareStart", CommandCode::ReadConfiguration, 10, true, true},
        EndingCase{"configurationRead", CommandCode::ReadConfiguration, 1, true, false},
        EndingCase{"calibrateEmpty", CommandCode::CalibrateEmpty, 15, true, false},
        EndingCase{"calibrateFull", CommandCode::CalibrateFull, 15, true, false},
        EndingCase{"calibrationWrite", CommandCode::WriteCalibration, 16, true, false},
        EndingCase{"calibrationRead", CommandCode::ReadCalibration, 15, true, false},
        EndingCase{"calibrationToFile", CommandCode::ReadCalibration, 13, true, false},
        EndingCase{"firmwareBlock", CommandCode::FirmwareBlock, 10, true, true},
        EndingCase{"lateFirmwareBlock", CommandCode::FirmwareBlock, 1, true, true}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return info.param.name; });

TEST(HexBytes, writesTwoUpperCaseDigitsAndASpacePerByte) {
    const ByteString bytes{0x31, 0x05, 0xAB, 0x0F};
    EXPECT_EQ(hexBytes(bytes), "31 05 AB 0F ");
    EXPECT_EQ(hexBytes({}), "");
}

} // namespace
} // namespace vorkel
