// The calibration backup file: the sensor's two calibration points saved as the five bytes of
// the calibration record (no header, no checksum), and written back into a sensor from such a
// file, so that a replacement sensor can take over its predecessor's calibration.
//
// Owner of the replies 87 in request state 13 (points read for saving) and 86 in state 14
// (points written from a file).
#pragma once

#include "calibration/calibration_points.h"
#include "calibration/calibration_services.h"
#include "protocol/exchange_engine.h"

#include <filesystem>
#include <optional>
#include <utility>

namespace vorkel {

// The record of a backup file, which holds nothing else; nothing when the file is missing,
// unreadable or not exactly five bytes long (a firmware image chosen by mistake, say).
std::optional<FrameData> readBackupFile(const std::filesystem::path& path);
// Creates or replaces the file with exactly the five bytes of the record. False on failure.
bool writeBackupFile(const std::filesystem::path& path, const FrameData& record);

class CalibrationBackup : public ReplyOwner {
public:
    CalibrationBackup(ExchangeEngine& engine, CalibrationPoints& points,
                      CalibrationPointsView& pointsView, CalibrationServices services)
        : engine_(engine)
        , points_(points)
        , pointsView_(pointsView)
        , services_(std::move(services)) {}

    // "Put calibration into file": reads the points; the reply asks where to save them.
    void readtarButtonClick();
    // "Write calibration from file": asks for a file and writes its points, without asking
    // whether empty is below full (the file holds what a sensor had).
    void writetarButtonClick();

    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

private:
    std::uint8_t saveReadPoints(const Frame& reply, std::uint8_t entryState);

    ExchangeEngine& engine_;
    CalibrationPoints& points_;
    CalibrationPointsView& pointsView_;
    CalibrationServices services_;
};

} // namespace vorkel
