// The level trend: the raw levels of the last minutes, as the stability filter saw them, and
// whether the filter judged each one stable. The engineer filling a tank watches it to see
// when the level has settled. The history is a ring of fixed size, so a program left polling
// for days holds no more than a few minutes of samples; what the plot draws is computed here
// and painted by the window. The plot's time axis ends at the present, so that a sensor that
// stopped answering shows as a line that ended, not as the current level; one trend holds one
// sensor's levels on one full scale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorkel {

struct TrendSample {
    std::uint32_t tick = 0; // milliseconds, the engine's tick count (it wraps)
    std::uint32_t raw = 0;
    bool stable = false;
};

class LevelTrend {
public:
    // Five minutes at one reply a second fit with room to spare for faster polling.
    static constexpr std::size_t kCapacity = 512;

    explicit LevelTrend(unsigned fullScale = 4095)
        : fullScale_(fullScale) {}
    // Forgets every sample: the next ones are measured against this full scale.
    void restart(unsigned fullScale);
    void add(const TrendSample& sample);
    unsigned fullScale() const { return fullScale_; }
    std::size_t size() const { return count_; }
    // From the oldest (0) to the newest.
    const TrendSample& at(std::size_t index) const {
        return samples_[(first_ + index) % kCapacity];
    }

private:
    std::array<TrendSample, kCapacity> samples_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    unsigned fullScale_;
};

// A grid line of a plot: where it lies (0..1 along its axis) and its label.
struct PlotTick {
    double position = 0.0;
    std::string label;
};

// What the trend plot draws, in fractions of the plot area: x from 0 (span ago) to 1 (now),
// y from 0 (level 0) to 1 (the trend's full scale).
struct TrendPicture {
    struct Point {
        double x = 0.0;
        double y = 0.0;
        bool startsLine = false; // after a pause in the replies the line is broken
    };
    struct Stretch {
        double from = 0.0;
        double to = 0.0;
    };
    std::vector<Point> points;
    std::vector<Stretch> stable;   // runs of samples the filter judged stable
    std::vector<PlotTick> minutes; // "-5" .. "0", minutes before now
    std::vector<PlotTick> levels;  // 0, quarters and full scale
    // The newest sample is recent enough to be the sensor's level now (the plot marks it).
    bool current = false;
};

inline constexpr std::uint32_t kTrendSpanMs = 5 * 60 * 1000;
// Replies come about once a second; a longer silence (a lost sensor, a restart) breaks the line.
inline constexpr std::uint32_t kTrendGapMs = 5000;

// The picture at the tick count `now`.
TrendPicture trendPicture(const LevelTrend& trend, std::uint32_t now,
                          std::uint32_t spanMs = kTrendSpanMs);

} // namespace vorkel
