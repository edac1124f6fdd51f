// The tank calibration points: making the sensor take its current measurement as the empty or
// the full point, reading both points into the two edits and writing the edits' points into
// the sensor. The edits hold the points the engineer works with; the record last read from the
// sensor is kept beside them only for the report, and only while it is still the sensor's.
//
// Owner of the replies 3, 4, 86 and 87 (except 87 read into a backup file, see backup_file.h).
#pragma once

#include "calibration/calibration_record.h"
#include "calibration/calibration_services.h"
#include "protocol/exchange_engine.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vorkel {

// The confirmation before writing an empty point that is not below the full point. The
// program carries these texts itself and shows them in Russian whatever the language.
inline constexpr std::string_view kEmptyAboveFullTitle = "Предупреждение";
inline constexpr std::string_view kEmptyAboveFullText =
    "Значение пустого больше полного!\r\nВы уверены?";

enum class TankPoint { Empty, Full }; // emptytaredit, fulltaredit

// The calibration group's controls.
class CalibrationPointsView {
public:
    virtual ~CalibrationPointsView() = default;
    virtual std::string pointText(TankPoint point) const = 0;
    virtual void setPointText(TankPoint point, const std::string& text) = 0;
    // The system highlight colour as the edit's background, or the normal window colour.
    virtual void setPointHighlighted(TankPoint point, bool highlighted) = 0;
    virtual void enableCalibrateButtons(bool enabled) = 0; // tar0Button and tarmaxButton
    virtual void enableWritePoints(bool enabled) = 0;      // writetar2Button
};

class CalibrationPoints : public ReplyOwner {
public:
    CalibrationPoints(ExchangeEngine& engine, CalibrationPointsView& view,
                      CalibrationServices services)
        : engine_(engine)
        , view_(view)
        , services_(std::move(services)) {}

    void tar0ButtonClick();
    void tarmaxButtonClick();
    void readtar2ButtonClick();
    void writetar2ButtonClick();
    // The edits' change handlers: a text that is not a valid point is highlighted.
    void emptytareditChange() { pointChanged(TankPoint::Empty); }
    void fulltareditChange() { pointChanged(TankPoint::Full); }
    void pointChanged(TankPoint point);

    // Replies 3 and 4 (read the points back), 87 (show them) and 86 (written).
    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

    // After a write, from the edits or from a backup file: the sensor restarts, so the points
    // must be read again before the next calibration or write.
    std::uint8_t showWritten(std::uint8_t entryState);

    // The points last read from the sensor on this connection; none after a reopen, a loss of
    // the sensor or any write of points, until they are read again.
    std::optional<CalibrationRecord> currentPoints() const;
    // Points read from the sensor elsewhere (into a backup file).
    void pointsReadFromSensor(const FrameData& record);
    // Points are being written into the sensor: what was read is no longer what it holds.
    void forgetPoints() { read_.reset(); }

private:
    void showPoints(const Frame& reply, std::uint8_t entryState);
    void setPoint(TankPoint point, std::uint32_t value);

    ExchangeEngine& engine_;
    CalibrationPointsView& view_;
    CalibrationServices services_;
    struct ReadPoints {
        CalibrationRecord points;
        std::uint64_t session;
    };
    std::optional<ReadPoints> read_;
};

// The state in which an exchange ends after its reply handling ran a nested event loop (a box,
// a dialog): idle, unless a request went out meanwhile, which must keep its own state.
std::uint8_t stateAfterNestedLoop(const ExchangeEngine& engine, std::uint8_t entryState);

} // namespace vorkel
