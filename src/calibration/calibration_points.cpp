#include "calibration/calibration_points.h"

#include <algorithm>

namespace vorkel {
namespace {

namespace rs = request_state;

// Blanks as the edit-emptiness test counts them: spaces and control characters.
bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool isBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

} // namespace

std::uint8_t stateAfterNestedLoop(const ExchangeEngine& engine, std::uint8_t entryState) {
    return engine.requestState() == entryState ? rs::kIdle : engine.requestState();
}

std::optional<CalibrationRecord> CalibrationPoints::currentPoints() const {
    if (!read_ || read_->session != engine_.sensorSession()) {
        return std::nullopt;
    }
    return read_->points;
}

void CalibrationPoints::pointsReadFromSensor(const FrameData& record) {
    read_ = ReadPoints{decodeCalibrationRecord(record), engine_.sensorSession()};
    engine_.sensorDataRead(ExchangeEngine::SensorData::Points);
}

void CalibrationPoints::tar0ButtonClick() {
    if (!engine_.isIdle()) {
        return; // a poll's reply would end the calibration's exchange in its place
    }
    forgetPoints();
    engine_.SendCommand(CommandCode::CalibrateEmpty, FrameData{}, rs::kCalibration);
}

void CalibrationPoints::tarmaxButtonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    forgetPoints();
    engine_.SendCommand(CommandCode::CalibrateFull, FrameData{}, rs::kCalibration);
}

void CalibrationPoints::readtar2ButtonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    // Emptied before the reply comes: if none comes, the edits stay blank rather than showing
    // points that may no longer be the sensor's.
    for (const TankPoint point : {TankPoint::Empty, TankPoint::Full}) {
        view_.setPointText(point, "");
        pointChanged(point);
    }
    engine_.SendCommand(CommandCode::ReadCalibration, FrameData{}, rs::kCalibration);
}

void CalibrationPoints::writetar2ButtonClick() {
    view_.enableWritePoints(true);
    if (!engine_.isIdle()) {
        return;
    }
    const std::optional<std::uint32_t> empty =
        parseCalibrationPoint(view_.pointText(TankPoint::Empty));
    const std::optional<std::uint32_t> full =
        parseCalibrationPoint(view_.pointText(TankPoint::Full));
    if (!empty || !full) {
        return; // the change handler has highlighted the edit already
    }
    if (*empty >= *full &&
        !services_.confirm(std::string(kEmptyAboveFullTitle), std::string(kEmptyAboveFullText))) {
        return;
    }
    // Also after the question, whose box let a poll go out meanwhile.
    if (!engine_.isIdle()) {
        return;
    }
    setPoint(TankPoint::Empty, *empty);
    setPoint(TankPoint::Full, *full);
    forgetPoints();
    engine_.SendCommand(CommandCode::WriteCalibration, encodeCalibrationRecord({*empty, *full}),
                        rs::kCalibrationWrite);
}

void CalibrationPoints::pointChanged(TankPoint point) {
    view_.setPointHighlighted(point, !parseCalibrationPoint(view_.pointText(point)));
}

std::uint8_t CalibrationPoints::handleReply(const Frame& reply, std::uint8_t entryState) {
    switch (static_cast<CommandCode>(reply[frame_offset::kCode])) {
    case CommandCode::CalibrateEmpty:
    case CommandCode::CalibrateFull:
        // The sensor has taken the point and restarts; show what it now holds.
        engine_.recordSensorResetTime();
        engine_.forceRequestState(rs::kIdle);
        engine_.SendCommand(CommandCode::ReadCalibration, FrameData{}, rs::kCalibration);
        return rs::kCalibration;
    case CommandCode::WriteCalibration:
        return showWritten(entryState);
    case CommandCode::ReadCalibration:
        showPoints(reply, entryState);
        return rs::kIdle;
    default: // registered for the four codes above only
        return rs::kIdle;
    }
}

std::uint8_t CalibrationPoints::showWritten(std::uint8_t entryState) {
    engine_.view().enableCommandControls(true);
    view_.enableWritePoints(false);
    view_.enableCalibrateButtons(false);
    engine_.recordSensorResetTime();
    services_.showSelfClosingInformation(services_.translate("rsMessageTitle"),
                                         services_.translate("rsCalibrationWritten"));
    return stateAfterNestedLoop(engine_, entryState);
}

void CalibrationPoints::showPoints(const Frame& reply, std::uint8_t entryState) {
    engine_.view().enableCommandControls(true);
    view_.enableWritePoints(true);
    pointsReadFromSensor(frameData(reply));
    const bool calibrationRead = entryState == rs::kCalibration;
    if (calibrationRead) {
        view_.enableCalibrateButtons(true);
    }
    // A reply that ends some other exchange (the engine resent the request as an ordinary
    // one) must not overwrite what the user typed: it only fills blank edits.
    const CalibrationRecord points = decodeCalibrationRecord(frameData(reply));
    for (const auto& [point, value] :
         {std::pair{TankPoint::Empty, points.empty}, std::pair{TankPoint::Full, points.full}}) {
        if (calibrationRead || isBlankText(view_.pointText(point))) {
            setPoint(point, value);
        }
    }
}

void CalibrationPoints::setPoint(TankPoint point, std::uint32_t value) {
    view_.setPointText(point, std::to_string(value));
    pointChanged(point);
}

} // namespace vorkel
