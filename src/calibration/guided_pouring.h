// Guided pouring: the calibration table fills itself while the engineer pours. With the check
// box on, the first stable level is recorded with the start volume; after that, every time the
// level has left the last recorded level by more than a threshold and settled again, a row
// with the next volume (the last plus the step) is recorded through the same flow as "Read
// the level into table". A falling level and a level that never settles are said on the page
// and never recorded.
//
// The threshold is 0.5 % of the full scale (20 of 4095, 5 of 1023): above the stability
// filter's tolerance and a sensor's jitter, well below the rise of any step worth a row.
#pragma once

#include "protocol/engine_seams.h"
#include "sensor/level_trend.h"
#include "sensor/readings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// The controls beside the grid ("Step, L", "Start, L", "Guided pouring", "Undo last row", the
// line that says what happens) and the grid's part in it.
class GuidedPouringView {
public:
    virtual ~GuidedPouringView() = default;
    virtual std::string stepText() const = 0;
    virtual std::string startText() const = 0;
    virtual void setGuidedChecked(bool checked) = 0;
    virtual void showGuidedState(const std::string& text) = 0; // empty: nothing to say
    // The volume into the Liters cell of the grid's current row (where "Read the level into
    // table" takes it from); false when the grid refuses it (another row has these litres).
    virtual bool enterLiters(const std::string& liters) = 0;
    // A short sound, the row with these litres highlighted, the moment marked on the trend.
    virtual void announceRow(const std::string& liters) = 0;
    virtual void removeRow(const std::string& liters) = 0;
    virtual void enableUndo(bool enabled) = 0;
};

struct GuidedPouringServices {
    std::function<std::string(std::string_view key)> translate;
    std::function<std::uint32_t()> tickCount;
    std::function<unsigned()> fullScale; // 4095 or 1023
    // "Read the level into table" for the current row.
    std::function<void()> readLevelIntoTable;
};

class GuidedPouring {
public:
    static constexpr std::uint32_t kSettleWithinMs = 60000;
    // Replies come about once a second; this long without one is a lost sensor.
    static constexpr std::uint32_t kSilenceMs = 5000;
    static unsigned threshold(unsigned fullScale) { return (fullScale + 1) / 200; }

    // `watchdog` tells a level that does not settle within a minute.
    GuidedPouring(GuidedPouringView& view, EngineTimer& watchdog, GuidedPouringServices services);

    // The check box: on, it reads the step and the start volume (and stays off when they are
    // no numbers); off, the grid is an ordinary table again.
    void GuidedCheckBoxClick(bool checked);
    void UndoButtonClick();
    // Every level reply, after the stability filter.
    void levelObserved(const LevelObservation& observation);

    bool active() const { return active_; }
    // The ticks of the recorded rows, for the trend's marks.
    const std::vector<std::uint32_t>& takenTicks() const { return takenTicks_; }

private:
    void take(std::uint32_t level, std::uint32_t tick);
    void say(std::string_view key, const std::string& detail = {});
    void watchdogTimeout();
    std::string volumeText(std::size_t index) const;

    GuidedPouringView& view_;
    EngineTimer& watchdog_;
    GuidedPouringServices services_;
    bool active_ = false;
    double start_ = 0.0;
    double step_ = 0.0;
    bool decimalComma_ = false; // the volumes written as the engineer typed them
    std::vector<std::string> taken_; // the litres of the rows recorded, oldest first
    std::vector<std::uint32_t> takenTicks_;
    std::uint32_t lastLevel_ = 0; // where the level stood at the last row (or an undo)
    bool left_ = false;           // the level has left it since
    bool falling_ = false;
    std::uint32_t lastReply_ = 0;
};

// Where the recorded rows' moments lie on the trend plot at the tick count `now` (0..1, as
// TrendPicture places its points, whose axis ends at the present); moments older than the
// plot's span are left out.
std::vector<double> trendMarkPositions(const std::vector<std::uint32_t>& ticks, std::uint32_t now,
                                       std::uint32_t spanMs = kTrendSpanMs);

} // namespace vorkel
