// An attached engine with the calibration flows as the owners of their replies, the boxes and
// dialogs answered by the test, and the calibration group's controls recorded.
#pragma once

#include "calibration/backup_file.h"
#include "calibration/calibration_points.h"
#include "protocol/exchange_ending_owner.h"
#include "support/engine_fakes.h"

#include <deque>
#include <gtest/gtest.h>
#include <map>

namespace vorkel::test {

class RecordingPointsView : public CalibrationPointsView {
public:
    std::string pointText(TankPoint point) const override { return texts.at(point); }
    void setPointText(TankPoint point, const std::string& text) override { texts[point] = text; }
    void setPointHighlighted(TankPoint point, bool on) override { highlighted[point] = on; }
    void enableCalibrateButtons(bool enabled) override { calibrateButtons = enabled; }
    void enableWritePoints(bool enabled) override { writeButton = enabled; }

    // As at program start.
    std::map<TankPoint, std::string> texts{{TankPoint::Empty, "0"}, {TankPoint::Full, "65535"}};
    std::map<TankPoint, bool> highlighted{{TankPoint::Empty, false}, {TankPoint::Full, false}};
    bool calibrateButtons = false;
    bool writeButton = false;
};

inline std::string calibrationText(std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"rsMessageTitle", "Information"},
        {"rsWarningTitle", "Warning"},
        {"rsCalibrationWritten", "Calibration data written to device\n Sensor has been reset"},
        {"rsCalibrationNotSaved", "Calibration file not saved!"},
        {"rsCalibrationFileUnreadable", "Cannot read the calibration file"},
        {"rsEnterLitersValue", "Please fill in the \u201CLiters\u201D field!"},
        {"rsReplaceExistingFile", "This file already exists. Replace it?\n"},
        {"rsDateFormat", "mm/dd/yyyy"},
        {"rsTableRow", "Row"},
        {"rsRowNotRising", "the value does not rise with the litres"},
        {"rsRowDuplicate", "the same value as another row"},
        {"rsDownloadAnyway", "Download the table anyway?"},
    };
    const auto found = texts.find(key);
    return found == texts.end() ? englishText(key) : found->second;
}

// What the user saw and answered.
struct Dialogs {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::vector<std::pair<std::string, std::string>> questions;
    std::vector<std::pair<std::string, std::string>> informations;
    bool answer = true;                                           // to every question
    std::deque<std::optional<std::filesystem::path>> backupPaths; // one per dialog
    int backupDialogs = 0;
    std::function<void()> whileInformationIsOpen;

    CalibrationServices services() {
        CalibrationServices s;
        s.translate = calibrationText;
        s.showErrorBox = [this](const std::string& text) { errors.push_back(text); };
        s.showWarningBox = [this](const std::string& text) { warnings.push_back(text); };
        s.confirm = [this](const std::string& title, const std::string& text) {
            questions.emplace_back(title, text);
            return answer;
        };
        s.showSelfClosingInformation = [this](const std::string& title, const std::string& text) {
            informations.emplace_back(title, text);
            if (auto nested = std::exchange(whileInformationIsOpen, nullptr)) {
                nested();
            }
        };
        const auto choose = [this]() -> std::optional<std::filesystem::path> {
            ++backupDialogs;
            if (backupPaths.empty()) {
                return std::nullopt;
            }
            auto path = backupPaths.front();
            backupPaths.pop_front();
            return path;
        };
        s.chooseBackupSavePath = choose;
        s.chooseBackupLoadPath = choose;
        return s;
    }
};

// The level polls end their exchanges; the calibration flows own the replies to their
// requests, the backup those of the file transfers.
inline void ownCalibrationReplies(ExchangeEngine& engine, ExchangeEndingOwner& ending,
                                  CalibrationPoints& points, CalibrationBackup& backup) {
    engine.setReplyOwner(CommandCode::ReadLevel, &ending);
    for (const CommandCode code : {CommandCode::CalibrateEmpty, CommandCode::CalibrateFull,
                                   CommandCode::WriteCalibration, CommandCode::ReadCalibration}) {
        engine.setReplyOwner(code, &points);
    }
    engine.setReplyOwner(CommandCode::ReadCalibration, request_state::kCalibrationToFile, &backup);
    engine.setReplyOwner(CommandCode::WriteCalibration, request_state::kCalibrationFromFile,
                         &backup);
}

class CalibrationFlows : public ::testing::Test {
protected:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    FakePort port;
    FakeView view;
    std::vector<std::string> log;
    std::vector<std::string> engineBoxes;
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{englishText,
                                         [this](const std::string& m) { log.push_back(m); },
                                         [this](const std::string& t) { engineBoxes.push_back(t); },
                                         [this] { return time.tickCount(); }}};
    ExchangeEndingOwner ending{engine};
    RecordingPointsView pointsView;
    Dialogs dialogs;
    CalibrationPoints points{engine, pointsView, dialogs.services()};
    CalibrationBackup backup{engine, points, pointsView, dialogs.services()};

    void SetUp() override {
        time.add(mainTimer);
        time.add(pollTimer);
        ownCalibrationReplies(engine, ending, points, backup);
        engine.setPortList({{"COM3", "COM3"}});
        // Attached: the first poll has been answered.
        engine.start();
        time.advanceBy(3000);
        answer(CommandCode::ReadLevel, FrameData{0x00, 0x08, 22, 0, 0});
        port.written.clear();
        log.clear();
        view.commandControls = false; // so that a test sees who changes them
        view.levelDisplays.clear();
    }

    void answer(CommandCode code, FrameData payload) {
        time.advanceBy(20);
        engine.ReceiveData(bytesOf(reply(toByte(code), payload)));
    }

    // The frames sent since the last call.
    std::vector<ByteString> sent() { return std::exchange(port.written, {}); }
    static ByteString request(CommandCode code, FrameData data = {}) {
        const Frame frame = buildRequest(code, data);
        return ByteString(frame.begin(), frame.end());
    }
};

} // namespace vorkel::test
