#include "sensor/level_trend.h"

#include <algorithm>

namespace vorkel {

void LevelTrend::restart(unsigned fullScale) {
    fullScale_ = fullScale;
    first_ = 0;
    count_ = 0;
}

void LevelTrend::add(const TrendSample& sample) {
    if (count_ < kCapacity) {
        samples_[(first_ + count_) % kCapacity] = sample;
        ++count_;
        return;
    }
    samples_[first_] = sample;
    first_ = (first_ + 1) % kCapacity;
}

TrendPicture trendPicture(const LevelTrend& trend, std::uint32_t now, std::uint32_t spanMs) {
    TrendPicture picture;
    const unsigned fullScale = trend.fullScale();
    const double span = spanMs > 0 ? spanMs : 1;
    for (std::uint32_t minute = 0; minute * 60000u <= spanMs; ++minute) {
        picture.minutes.push_back(
            {1.0 - minute * 60000.0 / span, minute == 0 ? "0" : "-" + std::to_string(minute)});
    }
    const double scale = fullScale > 0 ? fullScale : 1;
    for (unsigned quarter = 0; quarter <= 4; ++quarter) {
        const unsigned level = quarter == 4 ? fullScale : (fullScale + 1) / 4 * quarter;
        picture.levels.push_back({level / scale, std::to_string(level)});
    }
    if (trend.size() == 0) {
        return picture;
    }

    // Unsigned differences: the tick count wraps after 49 days.
    std::size_t first = trend.size();
    while (first > 0 && now - trend.at(first - 1).tick <= spanMs) {
        --first;
    }
    picture.current = now - trend.at(trend.size() - 1).tick <= kTrendGapMs;
    bool inStretch = false;
    for (std::size_t i = first; i < trend.size(); ++i) {
        const TrendSample& sample = trend.at(i);
        const double x = 1.0 - (now - sample.tick) / span;
        const double y = std::min(sample.raw / scale, 1.0);
        const bool gap = i == first || sample.tick - trend.at(i - 1).tick > kTrendGapMs;
        picture.points.push_back({x, y, gap});
        if (sample.stable && inStretch && !gap) {
            picture.stable.back().to = x;
        } else if (sample.stable) {
            picture.stable.push_back({x, x});
        }
        inStretch = sample.stable;
    }
    return picture;
}

} // namespace vorkel
