// The sensor flows wired as the window wires them, over recording views and the engine's
// virtual-time fakes: a reply is a call, a 3 s pause a step of the fake clock.
#pragma once

#include "protocol/exchange_ending_owner.h"
#include "sensor/configuration_flow.h"
#include "sensor/multiplier_flow.h"
#include "sensor/readings.h"
#include "support/engine_fakes.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorkel::test {

// English texts of the keys the sensor flows look up, then those of the engine.
inline std::string sensorText(std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"rsFrom", " from "},
        {"rsVTo", "V to "},
        {"rsV", "V"},
        {"rsReverseFrom", " [ REVERSE] from"},
        {"rsValidNumberFrom", " Enter a number from "},
        {"rsValidNumberTo", " to "},
        {"rsMessageTitle", "Information"},
        {"rsDeviceConfigurationSet",
         " Configuration data written to device\n Sensor has been reset"},
        {"rsTKoeffUpdated", "Multiplier recomputed."},
    };
    const auto found = texts.find(key);
    return found == texts.end() ? englishText(key) : found->second;
}

class RecordingReadingsView : public ReadingsView {
public:
    void showVersion(const VersionDisplay& version) override {
        program = version.program;
        bootloader = version.bootloader;
        rs485Options = version.rs485OptionsEnabled;
    }
    void showMeasuringModule(const std::string& text) override { module = text; }
    void showReading(ReadingControl control, const std::string& text) override {
        readings[control] = text;
    }
    void showBar(int position) override { bar = position; }
    void showCurrentLevel(const std::string& text) override { currentLevel = text; }
    void showAveragedLevel(const std::string& text) override { averagedLevel = text; }
    void showStability(bool shown) override { stable = shown; }
    void showLiters(const std::string& text) override { liters = text; }
    void showCounter(const std::string& text) override { counter = text; }
    void showTemperature(const std::string& text) override { temperature = text; }
    void clearVersions() override { program = bootloader = module = ""; }
    void highlightReading(ReadingControl control, bool selected) override {
        highlighted[control] = selected;
    }
    std::string readingText(ReadingControl control) const override {
        const auto found = readings.find(control);
        return found == readings.end() ? "" : found->second;
    }

    std::string program = "?", bootloader = "?", module = "?";
    bool rs485Options = false;
    std::map<ReadingControl, std::string> readings;
    int bar = -1;
    std::string currentLevel, averagedLevel, liters = "0.0", counter, temperature;
    std::optional<bool> stable;
    std::map<ReadingControl, bool> highlighted;
};

class RecordingConfigurationView : public ConfigurationView {
public:
    RecordingConfigurationView() {
        items = {"off"};
        for (int seconds = 2; seconds <= 32; ++seconds) {
            items.push_back(std::to_string(seconds) + " s");
        }
        items.push_back("64 s");
        items.push_back("128 s");
    }
    ModeControls modeControls() const override { return mode; }
    void showModeControls(const ModeControls& controls) override { mode = controls; }
    std::string lowerIndexText() const override { return lower; }
    std::string upperIndexText() const override { return upper; }
    void showRangeIndices(int a, int b) override {
        lower = std::to_string(a);
        upper = std::to_string(b);
    }
    void showRangeCaption(const std::string& text) override { rangeCaption = text; }
    std::string addressText() const override { return address; }
    void showAddress(const std::string& text) override { address = text; }
    std::vector<std::string> averagingItems() const override { return items; }
    int averagingIndex() const override { return averaging; }
    void selectAveraging(int index) override { averaging = index; }
    void addAveragingItem(const std::string& text) override { items.push_back(text); }
    void removeAveragingItem(int index) override {
        items.erase(items.begin() + index);
        if (averaging >= static_cast<int>(items.size())) {
            averaging = static_cast<int>(items.size()) - 1;
        }
    }
    void showRs485Caption(const std::string& text) override { rs485Caption = text; }
    void enableOutputControls(bool isAnalog) override { analogControls = isAnalog; }
    void enableWriteButtons(bool enabled) override { writeButtons = enabled; }

    ModeControls mode;
    std::string lower = "0", upper = "15", rangeCaption, address = "unread";
    std::vector<std::string> items;
    int averaging = 0;
    std::string rs485Caption = "RS-485 (0...4095)";
    std::optional<bool> analogControls;
    bool writeButtons = false;
};

class RecordingMultiplierView : public MultiplierView {
public:
    int position() const override { return shownPosition; }
    void showPosition(int value) override { shownPosition = std::clamp(value, -127, 127); }
    void showPercent(const std::string& text) override { percent = text; }

    int shownPosition = 0;
    std::string percent = "100.00 %";
};

// The engine with every sensor flow registered, as the window has them.
class SensorFlows {
public:
    SensorFlows() {
        time.add(mainTimer);
        time.add(pollTimer);
        engine.setPortList({{"COM3", "/dev/COM3"}});
        engine.setReplyOwner(CommandCode::ReadLevel, &readings);
        engine.setReplyOwner(CommandCode::ReadVersion, &readings);
        engine.setReplyOwner(CommandCode::ReadConfiguration, &configuration);
        engine.setReplyOwner(CommandCode::WriteConfiguration, &configuration);
        engine.start();
        readings.restartFilter({});
    }

    // Brings the engine to idle with the sensor attached, as after the first poll's reply.
    void attach() {
        time.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs);
        engine.ReceiveData(bytesOf(reply(0x05, {0, 8, 22, 0, 0})));
        port.written.clear();
    }
    void answer(std::uint8_t code, FrameData payload) {
        engine.ReceiveData(bytesOf(reply(code, payload)));
    }
    Frame lastSent() const {
        Frame frame{};
        std::copy_n(port.written.back().begin(), kFrameSize, frame.begin());
        return frame;
    }

    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    FakePort port;
    FakeView engineView;
    std::vector<std::string> log, errors, warnings, informations;
    std::vector<std::uint32_t> pauses;
    std::optional<double> dialogAnswer;
    std::function<void()> duringPause;
    ExchangeEngine engine{
        mainTimer, pollTimer, port, engineView,
        EngineServices{sensorText, [this](const std::string& line) { log.push_back(line); },
                       [this](const std::string& text) { errors.push_back(text); },
                       [this] { return time.tickCount(); }}};
    RecordingReadingsView readingsView;
    RecordingConfigurationView configurationView;
    RecordingMultiplierView multiplierView;
    MultiplierFlow multiplier{
        multiplierView,
        MultiplierServices{sensorText, [this] { return dialogAnswer; },
                           [this](const std::string& text) { warnings.push_back(text); }}};
    LiveReadings readings{engine, readingsView,
                          ReadingsServices{[this] { return time.tickCount(); },
                                           [this] { return configuration.fullScale(); },
                                           [this] { return configuration.frequencySpan(); },
                                           [this] { return configuration.updateRangeCaption(); },
                                           {}}};
    SensorConfiguration configuration{
        engine, configurationView, readings, multiplier,
        ConfigurationServices{sensorText,
                              [this](const std::string& text) { errors.push_back(text); },
                              [this](const std::string& title, const std::string& text) {
                                  informations.push_back(title + "|" + text);
                                  time.advanceBy(200); // a box that took a while to show
                              },
                              [this] { return time.tickCount(); },
                              [this](std::uint32_t ms) {
                                  pauses.push_back(ms);
                                  if (duringPause) {
                                      duringPause();
                                  }
                                  time.advanceBy(ms);
                              }}};
};

} // namespace vorkel::test
