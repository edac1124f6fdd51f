#include "sensor/multiplier.h"

#include "sensor/number_reading.h"
#include "sensor/number_text.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorkel {
namespace {

constexpr double kPositionBase = 950.0;
constexpr int kPercentWidth = 3;

} // namespace

double multiplierPercent(int position) {
    return (position + kPositionBase) * 100.0 / kPositionBase;
}

std::string multiplierPercentText(int position) {
    return formatTwoDecimals(multiplierPercent(position), kPercentWidth) + " %";
}

int computeMultiplier(int position, double voltage) {
    const double percent = multiplierPercent(position);
    // Evaluated in exactly this order: the ties of the rounding depend on it.
    const double r = 19000.0 / (voltage * 100.0 / percent) - kPositionBase;
    if (std::isnan(r)) {
        return position;
    }
    const double limited = std::clamp(roundHalfToEven(r), double{kMultiplierMinPosition},
                                      double{kMultiplierMaxPosition});
    return static_cast<int>(limited);
}

double voltageFromEntry(std::string_view text) {
    std::string entry(text);
    if (const std::size_t comma = entry.find(','); comma != std::string::npos) {
        entry[comma] = '.';
    }
    return parseDecimal(entry);
}

bool isVoltageAccepted(double voltage) {
    return voltage >= kMinMeasuredVoltage && voltage <= kMaxMeasuredVoltage;
}

std::string voltageRefusalText(std::string_view text, std::string_view validFrom,
                               std::string_view validTo, std::string_view numberEntered) {
    std::string message(numberEntered);
    message += text;
    message += "\r\n";
    message += validFrom;
    message += "18";
    message += validTo;
    message += "22";
    message += "!";
    return message;
}

} // namespace vorkel
