// The controls of the window without a window: one object that implements every view interface
// of the core objects (engine, readings, configuration, multiplier, firmware, calibration points)
// and only keeps what they put in, so that the command-line program can read it out and, like a
// user editing the controls, set what a write takes.
#pragma once

#include "calibration/calibration_points.h"
#include "firmware/firmware_transfer.h"
#include "protocol/engine_seams.h"
#include "sensor/configuration_flow.h"
#include "sensor/multiplier_flow.h"
#include "sensor/readings.h"

#include <map>
#include <string>
#include <vector>

namespace vorkel::cli {

class SensorControls : public EngineView,
                       public ReadingsView,
                       public ConfigurationView,
                       public MultiplierView,
                       public FirmwareView,
                       public CalibrationPointsView {
public:
    // The port's name (the port selector's only entry) and the averaging items in the chosen
    // language, as the averaging control offers them.
    SensorControls(std::string portName, std::vector<std::string> averagingItems);

    // --- EngineView
    void setCaption(const std::string&) override {}
    void enableCommandControls(bool) override {}
    void enableConfigurationControls(bool) override {}
    void enableStartFlash(bool) override {}
    void enableMultiplierButton(bool) override {}
    // No control to gate: a job reads what it writes before it writes.
    void enableWriteFromFile(bool) override {}
    void disableSensorWrites() override {}
    void blankLevelDisplays() override;
    void resetReadingDisplays() override;
    int selectedPortIndex() const override { return 0; }
    std::string selectedPortText() const override { return portName_; }

    // --- ReadingsView
    void showVersion(const VersionDisplay& version) override { this->version = version; }
    void showMeasuringModule(const std::string& text) override { measuringModule = text; }
    void showReading(ReadingControl control, const std::string& text) override;
    void showBar(int) override {}
    void showCurrentLevel(const std::string& text) override { currentLevel = text; }
    void showAveragedLevel(const std::string& text) override { averagedLevel = text; }
    void showStability(bool stable) override { this->stable = stable; }
    void showLiters(const std::string&) override {}
    void showCounter(const std::string& text) override { counter = text; }
    void showTemperature(const std::string& text) override { temperature = text; }
    void clearVersions() override { version = {}; }
    void highlightReading(ReadingControl, bool) override {}
    std::string readingText(ReadingControl control) const override;

    // --- ConfigurationView
    ModeControls modeControls() const override { return mode; }
    void showModeControls(const ModeControls& controls) override { mode = controls; }
    std::string lowerIndexText() const override { return lowerIndex; }
    std::string upperIndexText() const override { return upperIndex; }
    void showRangeIndices(int lower, int upper) override;
    void showRangeCaption(const std::string&) override {}
    std::string addressText() const override { return address; }
    void showAddress(const std::string& text) override { address = text; }
    std::vector<std::string> averagingItems() const override { return averaging_; }
    int averagingIndex() const override { return averagingIndex_; }
    void selectAveraging(int index) override { averagingIndex_ = index; }
    void addAveragingItem(const std::string& text) override { averaging_.push_back(text); }
    void removeAveragingItem(int index) override;
    void showRs485Caption(const std::string&) override {}
    void enableOutputControls(bool analog) override { analogControlsEnabled = analog; }
    void enableWriteButtons(bool) override {}

    // --- MultiplierView
    int position() const override { return multiplierPosition; }
    void showPosition(int position) override;
    void showPercent(const std::string&) override {}

    // --- FirmwareView
    void showFirmwarePath(const std::filesystem::path&) override {}
    void enableConfigurationWrite(bool) override {}
    void showProgressBar() override {}
    void setProgress(std::uint32_t bytes) override { firmwareProgress = bytes; }

    // --- CalibrationPointsView
    std::string pointText(TankPoint point) const override;
    void setPointText(TankPoint point, const std::string& text) override;
    void setPointHighlighted(TankPoint, bool) override {}
    void enableCalibrateButtons(bool) override {}
    void enableWritePoints(bool) override {}

    // What the controls hold.
    VersionDisplay version;
    std::string measuringModule;
    std::map<ReadingControl, std::string> readings;
    std::string currentLevel;
    std::string averagedLevel;
    bool stable = false;
    std::string counter;
    std::string temperature;
    ModeControls mode;
    std::string lowerIndex = "0";
    std::string upperIndex = "15";
    std::string address = "1";
    int multiplierPosition = 0;
    std::uint32_t firmwareProgress = 0;
    std::string emptyPoint;
    std::string fullPoint;
    // Which fields a user could change now: the analog range with analog output, the frequency
    // output's with frequency output; the RS-485 options by the program version.
    bool analogControlsEnabled = true;
    bool rs485OptionsEnabled() const { return version.rs485OptionsEnabled; }

private:
    std::string portName_;
    std::vector<std::string> averaging_;
    int averagingIndex_ = 0;
};

} // namespace vorkel::cli
