#include "calibration/backup_file.h"

#include "calibration/whole_file.h"

namespace vorkel {
namespace {
namespace rs = request_state;
} // namespace

std::optional<FrameData> readBackupFile(const std::filesystem::path& path) {
    const std::optional<std::string> bytes = readFileOfSize(path, kFrameDataSize);
    if (!bytes) {
        return std::nullopt;
    }
    FrameData record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>((*bytes)[i]);
    }
    return record;
}

bool writeBackupFile(const std::filesystem::path& path, const FrameData& record) {
    std::string bytes(record.begin(), record.end());
    return writeWholeFile(path, bytes);
}

void CalibrationBackup::readtarButtonClick() {
    if (!engine_.isIdle()) {
        return; // a poll's reply would end the read in its place
    }
    engine_.SendCommand(CommandCode::ReadCalibration, FrameData{}, rs::kCalibrationToFile);
}

void CalibrationBackup::writetarButtonClick() {
    const std::optional<std::filesystem::path> path = services_.chooseBackupLoadPath();
    if (!path) {
        return;
    }
    const std::optional<FrameData> record = readBackupFile(*path);
    if (!record) {
        // Nothing is sent: any other file would give the sensor points nobody chose. A firmware
        // image, also a ".bin" file, would make the sensor restart with meaningless points.
        services_.showErrorBox(services_.translate("rsCalibrationFileUnreadable"));
        return;
    }
    if (!engine_.isIdle()) {
        return; // a poll went out while the dialog was open
    }
    points_.forgetPoints();
    engine_.SendCommand(CommandCode::WriteCalibration, *record, rs::kCalibrationFromFile);
    engine_.view().blankLevelDisplays(); // the sensor restarts after the write
}

std::uint8_t CalibrationBackup::handleReply(const Frame& reply, std::uint8_t entryState) {
    if (reply[frame_offset::kCode] == toByte(CommandCode::WriteCalibration)) {
        return points_.showWritten(entryState);
    }
    return saveReadPoints(reply, entryState);
}

std::uint8_t CalibrationBackup::saveReadPoints(const Frame& reply, std::uint8_t entryState) {
    // Taken before the dialog opens: replies keep being handled while it is shown.
    const FrameData record = frameData(reply);
    points_.pointsReadFromSensor(record);
    engine_.view().enableCommandControls(true);
    pointsView_.enableWritePoints(true);
    const std::optional<std::filesystem::path> path = services_.chooseBackupSavePath();
    if (!path || !writeBackupFile(*path, record)) {
        services_.showWarningBox(services_.translate("rsCalibrationNotSaved"));
    }
    return stateAfterNestedLoop(engine_, entryState);
}

} // namespace vorkel
