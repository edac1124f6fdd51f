#include "sensor/multiplier_flow.h"

#include "sensor/multiplier.h"

#include <algorithm>

namespace vorkel {

void MultiplierFlow::setTkoeff(int value) {
    view_.showPosition(std::clamp(value, kMultiplierMinPosition, kMultiplierMaxPosition));
    showPercent();
}

void MultiplierFlow::showPercent() {
    view_.showPercent(multiplierPercentText(view_.position()));
}

void MultiplierFlow::tkoeffUpDownChanging() {
    showPercent();
}

void MultiplierFlow::tkoeffUpDownClick() {
    setTkoeff(getTKoeff());
}

void MultiplierFlow::tkoeffButtonClick() {
    const std::optional<double> voltage = services_.runDialog();
    if (!voltage) {
        return;
    }
    setTkoeff(computeMultiplier(getTKoeff(), *voltage));
    services_.showWarningBox(services_.translate("rsTKoeffUpdated"));
}

double measuredVoltage(std::string_view text) {
    return voltageFromEntry(text);
}

std::optional<std::string>
voltageRefusal(std::string_view text, double voltage,
               const std::function<std::string(std::string_view)>& translate) {
    if (isVoltageAccepted(voltage)) {
        return std::nullopt;
    }
    return voltageRefusalText(text, translate("rsValidNumberFrom"), translate("rsValidNumberTo"));
}

} // namespace vorkel
