// The technological multiplier: a correction of the analog output the sensor applies, kept as
// an up-down position -127..127 (one step is about 0.105 %), and its recomputation from a
// voltage measured on the analog output with a full tank. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace vorkel {

inline constexpr int kMultiplierMinPosition = -127;
inline constexpr int kMultiplierMaxPosition = 127;
inline constexpr double kMinMeasuredVoltage = 18.0;
inline constexpr double kMaxMeasuredVoltage = 22.0;

// The built-in text of rsNumberEntered, shown in Russian whatever the language.
inline constexpr std::string_view kNumberEnteredText = "Введено: ";

// (position + 950) x 100 / 950: 100 % at position 0.
double multiplierPercent(int position);
// "100.00 %", "99.47 %", "113.37 %".
std::string multiplierPercentText(int position);

// The new position that scales a full-tank output measured at `voltage` to 20 V:
// r = 19000 / (U x 100 / x) - 950 with x the percent of `position`, rounded half to even and
// limited to -127..127. A voltage that gives no number (0, NaN) keeps the position.
int computeMultiplier(int position, double voltage);

// The voltage an entry reads as: the first ',' becomes '.', then the decimal parser
// ("19,5" -> 19.5, "1a9" -> 19, "2,0,5" -> 2.05).
double voltageFromEntry(std::string_view text);
// 18 <= voltage <= 22.
bool isVoltageAccepted(double voltage);
// "Введено: 25\r\n Enter a number from 18 to 22!" from the text as typed and the translated
// rsValidNumberFrom and rsValidNumberTo; numberEntered is rsNumberEntered's built-in text.
std::string voltageRefusalText(std::string_view text, std::string_view validFrom,
                               std::string_view validTo,
                               std::string_view numberEntered = kNumberEnteredText);

} // namespace vorkel
