// Live readings: the level reply and the version reply, decoded from their frames; the level
// stability filter and the displays it moves (percent, raw, voltage, frequency, bar, litres),
// the counter and the temperature, the versions, and the selected reading that the calibration
// table copies.
#pragma once

#include "protocol/exchange_engine.h"
#include "protocol/frame.h"
#include "sensor/level_filter.h"
#include "sensor/level_trend.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorkel {

// Reply to code 5: a 12-bit level, a 20-bit counter and a signed temperature.
struct LevelReply {
    std::uint32_t level = 0;
    std::uint32_t counter = 0;
    int temperature = 0;
};
LevelReply decodeLevelReply(const Frame& reply);

// Reply to code 89: program version b3.b2, boot loader version b5.b4, measuring module b6.
struct VersionReply {
    std::uint8_t programFirst = 0;
    std::uint8_t programSecond = 0;
    std::uint8_t bootloaderFirst = 0;
    std::uint8_t bootloaderSecond = 0;
    std::uint8_t measuringModule = 0;
};
VersionReply decodeVersionReply(const Frame& reply);

// What the version labels show: "1.21" and "1.3", or "?" and "?" for a zero program version.
// The RS-485 range, bit rate and data-push controls exist from program version x.21 on.
struct VersionDisplay {
    std::string program;
    std::string bootloader;
    bool rs485OptionsEnabled = false;
};
VersionDisplay versionDisplay(unsigned first, unsigned second, unsigned bootFirst,
                              unsigned bootSecond);

// The four displays one of which is the selected reading.
enum class ReadingControl { Percent, Raw, Voltage, Frequency };

// The displays that the reading replies fill. Every text arrives ready to show.
class ReadingsView {
public:
    virtual ~ReadingsView() = default;
    virtual void showVersion(const VersionDisplay& version) = 0;
    virtual void showMeasuringModule(const std::string& text) = 0;
    virtual void showReading(ReadingControl control, const std::string& text) = 0;
    virtual void showBar(int position) = 0;
    virtual void showCurrentLevel(const std::string& text) = 0;  // currentlevelEdit
    virtual void showAveragedLevel(const std::string& text) = 0; // averagedlevelEdit
    virtual void showStability(bool stable) = 0; // stabilityLabel, bold averagedlevelEdit
    virtual void showLiters(const std::string& text) = 0;
    virtual void showCounter(const std::string& text) = 0;
    virtual void showTemperature(const std::string& text) = 0;
    virtual void clearVersions() = 0;
    // The selected reading stands out from the others.
    virtual void highlightReading(ReadingControl control, bool selected) = 0;
    virtual std::string readingText(ReadingControl control) const = 0;
    // After every level reply and when a new trend starts; the picture to paint, as it is at
    // the moment of painting, is LiveReadings::trendPictureNow().
    virtual void showTrend() {}
};

// "?" and empty readings while the port or the configuration changes.
void blankWhileConfigurationChanges(ReadingsView& view);
// "000"/"0000" readings, no temperature and no versions for a lost sensor.
void blankForLostSensor(ReadingsView& view);

// The analog output's voltages for level 0 and for full scale (reversed when lower > upper).
struct OutputVoltages {
    double lower = 0.0;
    double upper = 20.0;
};

// A level reply as the stability filter judged it, for those that follow the level (guided
// pouring).
struct LevelObservation {
    std::uint32_t tick = 0;
    std::uint32_t raw = 0;
    std::optional<std::uint32_t> stableLevel; // the accepted level, when the reply was stable
};

// What the readings take from elsewhere: the clock, the configuration shown in the window, and
// the litres conversion (none until a litres table exists).
struct ReadingsServices {
    std::function<std::uint32_t()> tickCount;
    std::function<unsigned()> fullScale;     // 4095 or 1023, by the RS-485 range selection
    std::function<unsigned()> frequencySpan; // 1970 or 990, by the frequency range selection
    // Recomputes the range caption and returns the voltages it shows.
    std::function<OutputVoltages()> outputVoltages;
    std::function<std::optional<std::string>(std::uint32_t level)> litersText;
};

// Owner of the replies that feed the live displays: 89 shows the versions (and, in a
// configuration read, asks for the configuration next); 5, the poll and "Test 05", moves the
// displays through the stability filter.
class LiveReadings : public ReplyOwner {
public:
    static constexpr std::uint32_t kTemperatureHoldMs = 8000;

    LiveReadings(ExchangeEngine& engine, ReadingsView& view, ReadingsServices services);
    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

    // Empties the reading window (the next levels fill it again), with these parameters.
    void restartFilter(const LevelFilterParameters& parameters);

    // Told every level reply, after the filter (guided pouring follows the level).
    void setLevelObserver(std::function<void(const LevelObservation&)> observer) {
        levelObserver_ = std::move(observer);
    }
    void setLevel(std::uint32_t raw);
    void setLevelDirect(std::uint32_t level);
    void setstability(bool stable);
    void setCNT(std::uint32_t value);
    void setTemp(int value);
    void setVersion(unsigned first, unsigned second, unsigned bootFirst, unsigned bootSecond);
    void selectlitercontrol(ReadingControl control);

    void ReadVersionButtonClick();
    // Both blanks start a new trend: what comes next may be another sensor (a reopened port,
    // a lost sensor), or the same one restarted with another configuration or calibration.
    void blankWhileConfigurationChanges();
    void blankForLostSensor();
    void startNewTrend();

    ReadingControl selectedReading() const { return selected_; }
    const LevelTrend& trend() const { return trend_; }
    TrendPicture trendPictureNow() const;
    // The text of the selected reading exactly as shown ("50.00 %", "2048").
    std::string selectedReadingText() const { return view_.readingText(selected_); }

private:
    void showVersion(const Frame& reply, std::uint8_t entryState);

    ExchangeEngine& engine_;
    ReadingsView& view_;
    ReadingsServices services_;
    LevelFilter filter_;
    LevelTrend trend_;
    std::function<void(const LevelObservation&)> levelObserver_;
    bool stable_ = false; // as stabilityLabel shows it
    std::optional<ReadingControl> highlighted_;
    ReadingControl selected_ = ReadingControl::Percent;
};

} // namespace vorkel
