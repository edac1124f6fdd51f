// The level stability filter: decides which level replies are steady enough to move the main
// displays. A sensor in a moving tank jitters; the engineer calibrating it must see a value
// only when it has settled. Pure: the caller shows what each step returns.
#pragma once

#include "sensor/level_filter_parameters.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vorkel {

// Stored parameters made usable: a window length below 1 or a negative value falls back to
// its default (a window of 0 would never fill, a negative tolerance never match).
LevelFilterParameters sanitizedLevelFilterParameters(LevelFilterParameters stored);

enum class LevelFilterOutcome {
    filling, // the window is not full yet
    stable,  // within the tolerance of the window average: the level is accepted
    outlier, // between tolerance and jump threshold: ignored, or restarts after too many
    jump,    // beyond the jump threshold: the filter restarts at once
};

// What one reply does to the displays.
struct LevelFilterStep {
    LevelFilterOutcome outcome = LevelFilterOutcome::filling;
    std::uint32_t raw = 0;          // levelRaw: every reply, unfiltered
    std::uint32_t currentLevel = 0; // currentlevelEdit: the raw level, or the window average
                                    // while stable
    std::optional<std::uint32_t> acceptedLevel; // setLevelDirect with it when present
    std::optional<bool> stability;              // setstability with it when present
};

class LevelFilter {
public:
    explicit LevelFilter(LevelFilterParameters parameters = {});

    // One level reply; fullScale is 4095 or 1023, as currently selected.
    LevelFilterStep step(std::uint32_t raw, int fullScale);

    // Rounded mean of the window: mean + 0.5, then to the nearest integer with ties to even
    // (mean 101.0 gives 102, 100.0 gives 100). 0 for an empty window.
    std::uint32_t windowAverage() const;

    const std::vector<std::uint32_t>& window() const { return window_; }
    std::int64_t outlierCounter() const { return outlierCounter_; }
    const LevelFilterParameters& parameters() const { return parameters_; }

private:
    // Levels within twice the tolerance of either end are pulled to that end.
    std::uint32_t clamped(std::int64_t level, int fullScale) const;

    LevelFilterParameters parameters_;
    // Not sliding: the first levels after the last restart, then left alone until the next.
    std::vector<std::uint32_t> window_;
    // Wider than the parameters: it is set to the jump threshold + 1.
    std::int64_t outlierCounter_;
};

} // namespace vorkel
