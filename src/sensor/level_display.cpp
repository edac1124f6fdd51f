#include "sensor/level_display.h"

#include "sensor/number_text.h"

namespace vorkel {
namespace {

constexpr unsigned kFullScale4095 = 4095;
constexpr unsigned kFullScale1023 = 1023;
constexpr unsigned kSpan2000Hz = 1970;
constexpr unsigned kSpan1020Hz = 990;
constexpr int kPercentWidth = 5;

// Every conversion divides by full scale + 1: 4096 or 1024 steps.
double divisor(unsigned fullScale) {
    return static_cast<double>(fullScale) + 1.0;
}

} // namespace

unsigned fullScaleForRange(int rs485RangeIndex) {
    return rs485RangeIndex == 1 ? kFullScale1023 : kFullScale4095;
}

unsigned frequencySpanForRange(int frequencyRangeIndex) {
    return frequencyRangeIndex == 1 ? kSpan1020Hz : kSpan2000Hz;
}

std::string levelPercentText(std::uint32_t level, unsigned fullScale) {
    return formatTwoDecimals(level * 100.0 / divisor(fullScale), kPercentWidth) + " %";
}

int levelBarPosition(std::uint32_t level, unsigned fullScale, int barMaximum) {
    return static_cast<int>(std::int64_t{level} * barMaximum /
                            (std::int64_t{fullScale} + 1));
}

std::string levelFrequencyText(std::uint32_t level, unsigned fullScale, unsigned frequencySpan) {
    return formatTwoDecimals(static_cast<double>(level) * frequencySpan / divisor(fullScale) +
                             kFrequencyOffsetHz);
}

std::string levelVoltageText(std::uint32_t level, unsigned fullScale, double lowerVoltage,
                             double upperVoltage) {
    return formatTwoDecimals(lowerVoltage +
                             (upperVoltage - lowerVoltage) * level / divisor(fullScale));
}

} // namespace vorkel
