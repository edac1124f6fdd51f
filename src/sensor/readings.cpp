#include "sensor/readings.h"

#include "sensor/level_display.h"

namespace vorkel {
namespace {

// Payload bytes by their position in the frame.
constexpr std::size_t kB2 = 2, kB3 = 3, kB4 = 4, kB5 = 5, kB6 = 6;
constexpr unsigned kFirstVersionWithRs485Options = 21;

std::string dotted(unsigned first, unsigned second) {
    std::string text = std::to_string(first);
    text += '.';
    text += std::to_string(second);
    return text;
}

} // namespace

LevelReply decodeLevelReply(const Frame& reply) {
    LevelReply decoded;
    decoded.level = static_cast<std::uint32_t>((reply[kB3] & 0x0F) << 8) | reply[kB2];
    decoded.counter = static_cast<std::uint32_t>((reply[kB3] & 0xF0) << 12) |
                      static_cast<std::uint32_t>(reply[kB5] << 8) | reply[kB6];
    decoded.temperature = static_cast<std::int8_t>(reply[kB4]);
    return decoded;
}

VersionReply decodeVersionReply(const Frame& reply) {
    return VersionReply{reply[kB3], reply[kB2], reply[kB5], reply[kB4], reply[kB6]};
}

VersionDisplay versionDisplay(unsigned first, unsigned second, unsigned bootFirst,
                              unsigned bootSecond) {
    VersionDisplay display;
    if (first != 0 || second != 0) {
        display.program = dotted(first, second);
        display.bootloader = dotted(bootFirst, bootSecond);
    } else {
        display.program = "?";
        display.bootloader = "?";
    }
    display.rs485OptionsEnabled = second >= kFirstVersionWithRs485Options;
    return display;
}

void blankWhileConfigurationChanges(ReadingsView& view) {
    view.showReading(ReadingControl::Percent, "?");
    view.showReading(ReadingControl::Raw, "");
    view.showReading(ReadingControl::Voltage, "");
    view.showReading(ReadingControl::Frequency, "");
    view.showBar(0);
}

void blankForLostSensor(ReadingsView& view) {
    view.showReading(ReadingControl::Percent, "000");
    view.showReading(ReadingControl::Raw, "0000");
    view.showReading(ReadingControl::Voltage, "000");
    view.showReading(ReadingControl::Frequency, "000");
    view.showTemperature("");
    view.showBar(0);
    view.clearVersions();
}

LiveReadings::LiveReadings(ExchangeEngine& engine, ReadingsView& view, ReadingsServices services)
    : engine_(engine)
    , view_(view)
    , services_(std::move(services)) {}

std::uint8_t LiveReadings::handleReply(const Frame& reply, std::uint8_t entryState) {
    engine_.view().enableCommandControls(true);
    if (reply[frame_offset::kCode] == toByte(CommandCode::ReadVersion)) {
        showVersion(reply, entryState);
    } else {
        const LevelReply level = decodeLevelReply(reply);
        setLevel(level.level);
        setCNT(level.counter);
        setTemp(level.temperature);
    }
    return request_state::kIdle;
}

void LiveReadings::showVersion(const Frame& reply, std::uint8_t entryState) {
    const VersionReply version = decodeVersionReply(reply);
    setVersion(version.programFirst, version.programSecond, version.bootloaderFirst,
               version.bootloaderSecond);
    view_.showMeasuringModule(std::to_string(version.measuringModule));
    if (entryState == request_state::kConfigurationRead) {
        engine_.SendCommand(CommandCode::ReadConfiguration, FrameData{},
                            request_state::kConfigurationWrite);
    }
}

void LiveReadings::ReadVersionButtonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    engine_.view().enableCommandControls(false);
    engine_.SendCommand(CommandCode::ReadVersion, FrameData{}, request_state::kVersionRead);
}

void LiveReadings::restartFilter(const LevelFilterParameters& parameters) {
    filter_ = LevelFilter(parameters);
}

void LiveReadings::blankWhileConfigurationChanges() {
    vorkel::blankWhileConfigurationChanges(view_);
    startNewTrend();
}

void LiveReadings::blankForLostSensor() {
    vorkel::blankForLostSensor(view_);
    startNewTrend();
}

void LiveReadings::startNewTrend() {
    trend_.restart(services_.fullScale());
    view_.showTrend();
}

TrendPicture LiveReadings::trendPictureNow() const {
    return trendPicture(trend_, services_.tickCount());
}

void LiveReadings::setLevel(std::uint32_t raw) {
    const unsigned fullScale = services_.fullScale();
    const LevelFilterStep step = filter_.step(raw, static_cast<int>(fullScale));
    view_.showReading(ReadingControl::Raw, std::to_string(step.raw));
    if (step.stability) {
        setstability(*step.stability);
    }
    if (step.acceptedLevel) {
        setLevelDirect(*step.acceptedLevel);
    }
    view_.showCurrentLevel(std::to_string(step.currentLevel));
    if (fullScale != trend_.fullScale()) {
        trend_.restart(fullScale); // older samples would be drawn against the wrong scale
    }
    trend_.add({services_.tickCount(), step.raw, stable_});
    view_.showTrend();
    if (levelObserver_) {
        levelObserver_({services_.tickCount(), step.raw, step.acceptedLevel});
    }
}

void LiveReadings::setLevelDirect(std::uint32_t level) {
    if (services_.litersText) {
        if (const auto liters = services_.litersText(level)) {
            view_.showLiters(*liters);
        }
    }
    const unsigned fullScale = services_.fullScale();
    view_.showReading(ReadingControl::Percent, levelPercentText(level, fullScale));
    view_.showBar(levelBarPosition(level, fullScale));
    view_.showReading(ReadingControl::Frequency,
                      levelFrequencyText(level, fullScale, services_.frequencySpan()));
    const OutputVoltages voltages = services_.outputVoltages();
    view_.showReading(ReadingControl::Voltage,
                      levelVoltageText(level, fullScale, voltages.lower, voltages.upper));
    view_.showAveragedLevel(std::to_string(level));
}

void LiveReadings::setstability(bool stable) {
    stable_ = stable;
    view_.showStability(stable);
}

void LiveReadings::setCNT(std::uint32_t value) {
    view_.showCounter(std::to_string(value));
}

void LiveReadings::setTemp(int value) {
    // The sensor's first readings after a (re)start are not settled yet.
    if (services_.tickCount() - engine_.sensorResetTime() > kTemperatureHoldMs) {
        view_.showTemperature(std::to_string(value));
    }
}

void LiveReadings::setVersion(unsigned first, unsigned second, unsigned bootFirst,
                              unsigned bootSecond) {
    view_.showVersion(versionDisplay(first, second, bootFirst, bootSecond));
}

void LiveReadings::selectlitercontrol(ReadingControl control) {
    if (highlighted_) {
        view_.highlightReading(*highlighted_, false);
    }
    selected_ = control;
    highlighted_ = control;
    view_.highlightReading(control, true);
}

} // namespace vorkel
