// What the main level displays show for an accepted level: percent, bar, frequency and
// voltage, all derived from the level and the full scale (4095 or 1023, divided by full
// scale + 1). Pure; the readings owner shows the texts.
#pragma once

#include <cstdint>
#include <string>

namespace vorkel {

inline constexpr int kLevelBarMaximum = 4096;
inline constexpr int kFrequencyOffsetHz = 30;

// 4095 for item 0 ("1..4095") of the RS-485 range control, 1023 for item 1 ("1..1023"); any
// other index (no selection) counts as item 0.
unsigned fullScaleForRange(int rs485RangeIndex);
// 1970 for item 0 ("30-2000 Hz") of the frequency range control, 990 for item 1 ("30-1020 Hz");
// any other index counts as item 0.
unsigned frequencySpanForRange(int frequencyRangeIndex);

// " 2.51 %": two decimals, at least 5 characters, then " %".
std::string levelPercentText(std::uint32_t level, unsigned fullScale);
// level x barMaximum / (full scale + 1), truncated.
int levelBarPosition(std::uint32_t level, unsigned fullScale, int barMaximum = kLevelBarMaximum);
// level x span / (full scale + 1) + 30, two decimals: "1999.52".
std::string levelFrequencyText(std::uint32_t level, unsigned fullScale, unsigned frequencySpan);
// lower + (upper - lower) x level / (full scale + 1), two decimals: "10.00"; falls as the
// level rises when the range is reversed (lower > upper).
std::string levelVoltageText(std::uint32_t level, unsigned fullScale, double lowerVoltage,
                             double upperVoltage);

} // namespace vorkel
