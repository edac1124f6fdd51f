#include "cli/sensor_controls.h"

#include <algorithm>

namespace vorkel::cli {

SensorControls::SensorControls(std::string portName, std::vector<std::string> averagingItems)
    : portName_(std::move(portName))
    , averaging_(std::move(averagingItems)) {}

void SensorControls::blankLevelDisplays() {
    readings.clear();
    currentLevel.clear();
    averagedLevel.clear();
}

void SensorControls::resetReadingDisplays() {
    blankLevelDisplays();
    temperature.clear();
    version = {};
}

void SensorControls::showReading(ReadingControl control, const std::string& text) {
    readings[control] = text;
}

std::string SensorControls::readingText(ReadingControl control) const {
    const auto found = readings.find(control);
    return found != readings.end() ? found->second : std::string();
}

void SensorControls::showRangeIndices(int lower, int upper) {
    lowerIndex = std::to_string(lower);
    upperIndex = std::to_string(upper);
}

void SensorControls::removeAveragingItem(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < averaging_.size()) {
        averaging_.erase(averaging_.begin() + index);
    }
}

void SensorControls::showPosition(int position) {
    multiplierPosition = std::clamp(position, -127, 127); // as the up-down limits it
}

std::string SensorControls::pointText(TankPoint point) const {
    return point == TankPoint::Empty ? emptyPoint : fullPoint;
}

void SensorControls::setPointText(TankPoint point, const std::string& text) {
    (point == TankPoint::Empty ? emptyPoint : fullPoint) = text;
}

} // namespace vorkel::cli
