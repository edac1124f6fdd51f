#include "calibration/calibration_record.h"
#include "calibration_fixture.h"
#include "support/temp_dir.h"

#include <fstream>

namespace vorkel {
namespace {

using namespace test;
namespace rs = request_state;

TEST(CalibrationRecord, packsTwentyBitsPerPoint) {
    const struct {
        FrameData record;
        CalibrationRecord points;
    } cases[] = {
        {{0x12, 0x34, 0x56, 0x78, 0x9A}, {78934, 161946}},
        {{0x00, 0x00, 0x00, 0xFF, 0xFF}, {0, 65535}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {1048575, 1048575}},
        {{0xF0, 0x00, 0x00, 0x00, 0x01}, {0xF0000, 1}},
        {{0x0E, 0x00, 0x00, 0x84, 0x80}, {0, 951424}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeCalibrationRecord(c.record), c.points) << c.points.empty;
        EXPECT_EQ(encodeCalibrationRecord(c.points), c.record) << c.points.empty;
    }
}

TEST(CalibrationRecord, acceptsAPointOnlyWithinTheRecordsRange) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> point;
    } cases[] = {
        {"0", 0},        {"65535", 65535}, {" 100", 100},      {"$64", 100},
        {"0x64", 100},   {"+7", 7},        {"007", 7},         {"1048575", 1048575},
        {"1048576", {}}, {"2000000", {}},  {"-1", {}},         {"abc", {}},
        {"", {}},        {"100 ", {}},     {"2147483648", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseCalibrationPoint(c.text), c.point) << '"' << c.text << '"';
    }
}

using CalibrationPointsFlow = CalibrationFlows;

TEST_F(CalibrationPointsFlow, calibratingReadsThePointsBackAndEnablesTheButtons) {
    for (const auto& [click, code] :
         {std::pair{&CalibrationPoints::tar0ButtonClick, CommandCode::CalibrateEmpty},
          std::pair{&CalibrationPoints::tarmaxButtonClick, CommandCode::CalibrateFull}}) {
        (points.*click)();
        EXPECT_EQ(sent(), std::vector<ByteString>{request(code)});
        EXPECT_EQ(engine.requestState(), rs::kCalibration);

        answer(code, {});
        EXPECT_EQ(engine.sensorResetTime(), time.tickCount()); // the sensor restarts
        EXPECT_EQ(sent(), std::vector<ByteString>{request(CommandCode::ReadCalibration)});
        EXPECT_EQ(engine.requestState(), rs::kCalibration);
        // The follow-up leaves an exchange that has ended: it is not logged.
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& line) { return line.starts_with("sent:"); }),
                  0);

        answer(CommandCode::ReadCalibration, {0x12, 0x34, 0x56, 0x78, 0x9A});
        EXPECT_EQ(pointsView.texts[TankPoint::Empty], "78934");
        EXPECT_EQ(pointsView.texts[TankPoint::Full], "161946");
        EXPECT_TRUE(pointsView.calibrateButtons);
        EXPECT_TRUE(pointsView.writeButton);
        EXPECT_TRUE(view.commandControls);
        EXPECT_EQ(engine.requestState(), rs::kIdle);
        EXPECT_TRUE(dialogs.informations.empty()); // no message of its own
        pointsView = RecordingPointsView{};
    }
}

TEST_F(CalibrationPointsFlow, clicksWaitUntilNothingIsOutstanding) {
    // A poll's reply, or a late reply to a retransmission, would end the click's exchange in
    // its place.
    pointsView.texts = {{TankPoint::Empty, "10"}, {TankPoint::Full, "20"}};
    const auto clickAll = [&] {
        points.tar0ButtonClick();
        points.tarmaxButtonClick();
        points.readtar2ButtonClick();
        points.writetar2ButtonClick();
        backup.readtarButtonClick();
        return sent();
    };
    time.advanceBy(ExchangeEngine::kPollDelayMs); // a poll is outstanding
    sent();
    EXPECT_TRUE(clickAll().empty());

    answer(CommandCode::ReadLevel, FrameData{0x00, 0x08, 22, 0, 0});
    points.readtar2ButtonClick();
    time.advanceBy(ExchangeEngine::kReplyTimeoutMs); // its retransmission is outstanding
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_TRUE(clickAll().empty());
}

// The points the report names: the record last read from the sensor on this connection, not
// the edits, and none after a reopen, a loss of the sensor or any write of points.
TEST_F(CalibrationPointsFlow, theSensorsPointsHoldUntilAReopenALossOrAWrite) {
    TempDir dir;
    std::ofstream(dir / "cal.bin", std::ios::binary) << std::string(5, '\0');
    const std::pair<const char*, std::function<void()>> ends[] = {
        {"reopen", [&] { engine.comportComboBoxChange(); }},
        {"loss", [&] { time.advanceBy(3000 + 2000); }}, // the poll is not answered
        {"typed", [&] { points.writetar2ButtonClick(); }},
        {"empty", [&] { points.tar0ButtonClick(); }},
        {"full", [&] { points.tarmaxButtonClick(); }},
        {"file", [&] {
             dialogs.backupPaths = {dir / "cal.bin"};
             backup.writetarButtonClick();
         }},
    };
    for (const auto& [name, end] : ends) {
        SCOPED_TRACE(name);
        answer(CommandCode::ReadCalibration, {0x00, 0x00, 0x10, 0x20, 0x00});
        ASSERT_TRUE(points.currentPoints());
        EXPECT_EQ(points.currentPoints()->full, 8192u);
        pointsView.texts = {{TankPoint::Empty, "5"}, {TankPoint::Full, "9000"}};
        EXPECT_EQ(points.currentPoints()->empty, 16u) << "typing is not reading";
        end();
        EXPECT_FALSE(points.currentPoints());
    }
    engine.comportComboBoxChange();
    dialogs.backupPaths = {dir / "copy.bin"};
    backup.readtarButtonClick();
    answer(CommandCode::ReadCalibration, {0x00, 0x00, 0x10, 0x20, 0x00});
    EXPECT_TRUE(points.currentPoints()) << "read into a file";
}

TEST_F(CalibrationPointsFlow, readingEmptiesTheEditsAtOnce) {
    points.readtar2ButtonClick();
    EXPECT_EQ(sent(), std::vector<ByteString>{request(CommandCode::ReadCalibration)});
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], "");
    EXPECT_EQ(pointsView.texts[TankPoint::Full], "");
    EXPECT_TRUE(pointsView.highlighted[TankPoint::Empty]); // an empty text is no point

    time.advanceBy(2000); // no reply: the engine's time-out, the edits stay blank
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], "");
    EXPECT_FALSE(pointsView.calibrateButtons);
}

TEST_F(CalibrationPointsFlow, aReadBackInAnotherStateFillsOnlyBlankEdits) {
    pointsView.texts = {{TankPoint::Empty, "500"}, {TankPoint::Full, " \t"}};
    answer(CommandCode::ReadCalibration, {0x00, 0x00, 0x10, 0x20, 0x00}); // state 1
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], "500");
    EXPECT_EQ(pointsView.texts[TankPoint::Full], "8192");
    EXPECT_FALSE(pointsView.calibrateButtons);
    EXPECT_TRUE(pointsView.writeButton);
    EXPECT_TRUE(view.commandControls);
}

TEST_F(CalibrationPointsFlow, theChangeHandlersHighlightTextsThatAreNoPoint) {
    const struct {
        const char* text;
        bool highlighted;
    } cases[] = {{"100", false}, {"$64", false}, {"abc", true},
                 {"", true},     {"-1", true},   {"1048576", true}};
    for (const auto& c : cases) {
        pointsView.texts[TankPoint::Full] = c.text;
        points.fulltareditChange();
        EXPECT_EQ(pointsView.highlighted[TankPoint::Full], c.highlighted) << c.text;
        pointsView.texts[TankPoint::Empty] = c.text;
        points.emptytareditChange();
        EXPECT_EQ(pointsView.highlighted[TankPoint::Empty], c.highlighted) << c.text;
    }
}

TEST_F(CalibrationPointsFlow, writingChecksAsksAndSendsWhatTheEditsShow) {
    const struct {
        const char* empty;
        const char* full;
        bool asked;
        bool answer;
        std::optional<FrameData> sent; // nothing: no request
        const char* emptyAfter;
        const char* fullAfter;
    } cases[] = {
        {"0", "65535", false, true, FrameData{0x00, 0x00, 0x00, 0xFF, 0xFF}, "0", "65535"},
        {"99", "100", false, true, FrameData{0x00, 0x00, 0x63, 0x00, 0x64}, "99", "100"},
        {"100", "100", true, true, FrameData{0x00, 0x00, 0x64, 0x00, 0x64}, "100", "100"},
        {"100", "99", true, false, std::nullopt, "100", "99"},
        {"abc", "100", false, true, std::nullopt, "abc", "100"},
        // One reading for the check, the record and the text written back.
        {" 100", "$C8", false, true, FrameData{0x00, 0x00, 0x64, 0x00, 0xC8}, "100", "200"},
        {"007", "0x64", false, true, FrameData{0x00, 0x00, 0x07, 0x00, 0x64}, "7", "100"},
        {"1048575", "1048575", true, true, FrameData{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "1048575",
         "1048575"},
        // Points the record cannot hold are refused, not sent as other points.
        {"-1", "100", false, true, std::nullopt, "-1", "100"},
        {"1048576", "2000000", false, true, std::nullopt, "1048576", "2000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.empty) + " / " + c.full);
        pointsView.texts = {{TankPoint::Empty, c.empty}, {TankPoint::Full, c.full}};
        pointsView.writeButton = false;
        dialogs.questions.clear();
        dialogs.answer = c.answer;
        engine.forceRequestState(rs::kIdle); // the previous case's write has ended
        mainTimer.stop();

        points.writetar2ButtonClick();

        EXPECT_TRUE(pointsView.writeButton);
        EXPECT_EQ(dialogs.questions.size(), c.asked ? 1u : 0u);
        const std::vector<ByteString> frames = sent();
        if (c.sent) {
            EXPECT_EQ(frames,
                      std::vector<ByteString>{request(CommandCode::WriteCalibration, *c.sent)});
            EXPECT_EQ(engine.requestState(), rs::kCalibrationWrite);
        } else {
            EXPECT_TRUE(frames.empty());
        }
        EXPECT_EQ(pointsView.texts[TankPoint::Empty], c.emptyAfter);
        EXPECT_EQ(pointsView.texts[TankPoint::Full], c.fullAfter);
        EXPECT_TRUE(dialogs.errors.empty() && dialogs.warnings.empty());
    }
}

TEST_F(CalibrationPointsFlow, theQuestionIsInRussianWhateverTheLanguage) {
    pointsView.texts = {{TankPoint::Empty, "5"}, {TankPoint::Full, "5"}};
    points.writetar2ButtonClick();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].first, "Предупреждение");
    EXPECT_EQ(dialogs.questions[0].second, "Значение пустого больше полного!\r\nВы уверены?");
}

TEST_F(CalibrationPointsFlow, aWriteDisablesTheButtonsUntilTheNextRead) {
    pointsView.calibrateButtons = true;
    pointsView.writeButton = true;
    points.writetar2ButtonClick();
    answer(CommandCode::WriteCalibration, {0x00, 0x00, 0x00, 0xFF, 0xFF});

    EXPECT_FALSE(pointsView.calibrateButtons);
    EXPECT_FALSE(pointsView.writeButton);
    EXPECT_TRUE(view.commandControls);
    EXPECT_EQ(engine.sensorResetTime(), time.tickCount());
    EXPECT_EQ(dialogs.informations,
              (std::vector<std::pair<std::string, std::string>>{
                  {"Information", "Calibration data written to device\n Sensor has been reset"}}));
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], "0"); // the edits keep their texts
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

TEST_F(CalibrationPointsFlow, aRequestSentWhileTheBoxIsOpenKeepsItsState) {
    points.writetar2ButtonClick();
    // The box runs a nested event loop; a stray reply there ends in idle and the poll goes out.
    dialogs.whileInformationIsOpen = [this] {
        engine.SendCommand(CommandCode::ReadLevel, ExchangeEngine::kPollData, rs::kLevelPoll);
    };
    answer(CommandCode::WriteCalibration, {0x00, 0x00, 0x00, 0xFF, 0xFF});
    EXPECT_EQ(engine.requestState(), rs::kLevelPoll);
    EXPECT_TRUE(mainTimer.isActive()); // its reply is still awaited
}

} // namespace
} // namespace vorkel
