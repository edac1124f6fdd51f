#include "calibration/guided_pouring.h"

#include "sensor/number_reading.h"

#include <charconv>
#include <cmath>

namespace vorkel {
namespace {

// A volume with at most three decimals and no trailing zeros: "12.5", "40".
std::string volumeNumber(double liters, bool decimalComma) {
    char text[48];
    const double rounded = std::round(liters * 1000.0) / 1000.0;
    const auto result =
        std::to_chars(std::begin(text), std::end(text), rounded, std::chars_format::fixed, 3);
    std::string number(text, result.ptr);
    while (number.back() == '0') {
        number.pop_back();
    }
    if (number.back() == '.') {
        number.pop_back();
    }
    if (number == "-0") {
        number = "0";
    }
    if (decimalComma) {
        if (const auto point = number.find('.'); point != std::string::npos) {
            number[point] = ',';
        }
    }
    return number;
}

unsigned distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

} // namespace

GuidedPouring::GuidedPouring(GuidedPouringView& view, EngineTimer& watchdog,
                             GuidedPouringServices services)
    : view_(view)
    , watchdog_(watchdog)
    , services_(std::move(services)) {
    watchdog_.setInterval(kSettleWithinMs);
    watchdog_.setHandler([this] { watchdogTimeout(); });
}

void GuidedPouring::GuidedCheckBoxClick(bool checked) {
    taken_.clear();
    takenTicks_.clear();
    left_ = falling_ = false;
    view_.enableUndo(false);
    watchdog_.stop();
    active_ = false;
    if (!checked) {
        view_.showGuidedState({});
        return;
    }
    const std::string stepText = view_.stepText(), startText = view_.startText();
    const std::optional<double> step = parseDecimalNumber(stepText);
    // An empty start is the default, an empty tank.
    const std::optional<double> start =
        startText.find_first_not_of(' ') == std::string::npos ? 0.0
                                                              : parseDecimalNumber(startText);
    constexpr double kLargestVolume = 1e9;
    if (!step || !start || !(*step > 0.0) || *step > kLargestVolume || !(*start >= 0.0) ||
        *start > kLargestVolume) {
        view_.setGuidedChecked(false);
        say("rsGuidedBadStep");
        return;
    }
    active_ = true;
    step_ = *step;
    start_ = *start;
    decimalComma_ = stepText.find(',') != std::string::npos ||
                    startText.find(',') != std::string::npos;
    lastReply_ = services_.tickCount();
    watchdog_.start();
    say("rsGuidedWaitingFirst");
}

void GuidedPouring::UndoButtonClick() {
    if (!active_ || taken_.empty()) {
        return;
    }
    // The level stays where the tank is: the undone volume is recorded again only once the
    // level has moved and settled anew (the rest of a step that was poured only in part).
    view_.removeRow(taken_.back());
    taken_.pop_back();
    takenTicks_.pop_back();
    view_.enableUndo(!taken_.empty());
    say(taken_.empty() ? "rsGuidedWaitingFirst" : "rsGuidedUndone", volumeText(taken_.size()));
}

std::string GuidedPouring::volumeText(std::size_t index) const {
    return volumeNumber(start_ + static_cast<double>(index) * step_, decimalComma_);
}

void GuidedPouring::levelObserved(const LevelObservation& observation) {
    if (!active_) {
        return;
    }
    lastReply_ = observation.tick;
    if (taken_.empty()) {
        if (observation.stableLevel) {
            take(*observation.stableLevel, observation.tick);
        }
        return;
    }
    const unsigned limit = threshold(services_.fullScale());
    if (!left_ && distance(observation.raw, lastLevel_) > limit) {
        left_ = true;
        watchdog_.start(); // it must settle within a minute
    }
    if (!observation.stableLevel) {
        return;
    }
    const std::uint32_t level = *observation.stableLevel;
    if (level > lastLevel_ + limit) {
        take(level, observation.tick);
    } else if (level + limit < lastLevel_) {
        // A leak or a tank drained by mistake: a row now would break the table's order.
        watchdog_.stop();
        left_ = false;
        if (!falling_) {
            falling_ = true;
            say("rsGuidedLevelFalls");
        }
    } else if (left_ || falling_) {
        // A splash that settled where the level was, or a fall that came back.
        watchdog_.stop();
        left_ = falling_ = false;
        say("rsGuidedPourNext", volumeText(taken_.size()));
    }
}

void GuidedPouring::take(std::uint32_t level, std::uint32_t tick) {
    watchdog_.stop();
    left_ = falling_ = false;
    const std::string liters = volumeText(taken_.size());
    if (!view_.enterLiters(liters)) {
        say("rsGuidedLitersInTable", liters);
        lastLevel_ = level; // not again at this level
        return;
    }
    services_.readLevelIntoTable();
    lastLevel_ = level;
    taken_.push_back(liters);
    takenTicks_.push_back(tick);
    view_.announceRow(liters);
    view_.enableUndo(true);
    say("rsGuidedPourNext", volumeText(taken_.size()));
}

void GuidedPouring::watchdogTimeout() {
    watchdog_.stop();
    if (!active_) {
        return;
    }
    say(services_.tickCount() - lastReply_ >= kSilenceMs ? "rsGuidedNoReadings"
                                                         : "rsGuidedNotStable");
}

void GuidedPouring::say(std::string_view key, const std::string& detail) {
    std::string text = services_.translate(key);
    if (!detail.empty()) {
        text += " " + detail;
    }
    view_.showGuidedState(text);
}

std::vector<double> trendMarkPositions(const std::vector<std::uint32_t>& ticks, std::uint32_t now,
                                       std::uint32_t spanMs) {
    std::vector<double> positions;
    if (spanMs == 0) {
        return positions;
    }
    for (const std::uint32_t tick : ticks) {
        const std::uint32_t age = now - tick; // the tick count wraps
        if (age <= spanMs) {
            positions.push_back(1.0 - static_cast<double>(age) / spanMs);
        }
    }
    return positions;
}

} // namespace vorkel
