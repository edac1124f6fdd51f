#include "sensor/level_filter.h"

#include "sensor/number_text.h"

#include <cstdlib>

namespace vorkel {

LevelFilterParameters sanitizedLevelFilterParameters(LevelFilterParameters stored) {
    const LevelFilterParameters defaults;
    if (stored.outlierAllowance < 0) {
        stored.outlierAllowance = defaults.outlierAllowance;
    }
    if (stored.stabilityTolerance < 0) {
        stored.stabilityTolerance = defaults.stabilityTolerance;
    }
    if (stored.windowLength < 1) {
        stored.windowLength = defaults.windowLength;
    }
    if (stored.jumpThreshold < 0) {
        stored.jumpThreshold = defaults.jumpThreshold;
    }
    return stored;
}

LevelFilter::LevelFilter(LevelFilterParameters parameters)
    : parameters_(sanitizedLevelFilterParameters(parameters))
    , outlierCounter_(std::int64_t{parameters_.outlierAllowance} + 1) {}

std::uint32_t LevelFilter::clamped(std::int64_t level, int fullScale) const {
    // Signed and wide: with a large tolerance M - 2N is negative and must stay so.
    const std::int64_t twiceTolerance = 2 * std::int64_t{parameters_.stabilityTolerance};
    std::int64_t result = level;
    if (level > fullScale - twiceTolerance) {
        result = fullScale;
    }
    if (level < twiceTolerance) {
        result = 0;
    }
    return static_cast<std::uint32_t>(result);
}

std::uint32_t LevelFilter::windowAverage() const {
    if (window_.empty()) {
        return 0;
    }
    // Summed in 64 bits: a long window of large levels must not wrap.
    std::uint64_t sum = 0;
    for (const std::uint32_t level : window_) {
        sum += level;
    }
    const double mean = static_cast<double>(sum) / static_cast<double>(window_.size());
    return static_cast<std::uint32_t>(roundHalfToEven(mean + 0.5));
}

LevelFilterStep LevelFilter::step(std::uint32_t raw, int fullScale) {
    LevelFilterStep result;
    result.raw = raw;
    result.currentLevel = raw;
    const std::uint32_t level = clamped(raw, fullScale);

    if (window_.size() < static_cast<std::size_t>(parameters_.windowLength)) {
        window_.push_back(level);
        outlierCounter_ = std::int64_t{parameters_.outlierAllowance} + 1;
        result.outcome = LevelFilterOutcome::filling;
        return result;
    }

    const std::uint32_t average = clamped(windowAverage(), fullScale);
    const std::int64_t deviation = std::llabs(std::int64_t{level} - std::int64_t{average});
    if (deviation <= parameters_.stabilityTolerance) {
        outlierCounter_ = 0;
        result.outcome = LevelFilterOutcome::stable;
        result.stability = true;
        result.acceptedLevel = level;
        result.currentLevel = average;
    } else if (deviation <= parameters_.jumpThreshold) {
        result.outcome = LevelFilterOutcome::outlier;
        ++outlierCounter_;
        if (outlierCounter_ > parameters_.outlierAllowance) {
            result.stability = false;
            window_.assign(1, level);
        }
    } else {
        result.outcome = LevelFilterOutcome::jump;
        result.stability = false;
        window_.assign(1, level);
        outlierCounter_ = std::int64_t{parameters_.jumpThreshold} + 1;
    }
    return result;
}

} // namespace vorkel
