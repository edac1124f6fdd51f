// The technological multiplier: the position of its up-down, the percent beside it, and the
// computation of a new position from a voltage measured on the analog output with a full tank
// (the dialog that asks for the voltage is behind a seam).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorkel {

class MultiplierView {
public:
    virtual ~MultiplierView() = default;
    virtual int position() const = 0;                      // tkoeffUpDown
    virtual void showPosition(int position) = 0;           // limited to -127..127 by the up-down
    virtual void showPercent(const std::string& text) = 0; // tkoefflabel
};

struct MultiplierServices {
    std::function<std::string(std::string_view key)> translate;
    // Runs the dialog; the accepted voltage, or nothing when it was closed.
    std::function<std::optional<double>()> runDialog;
    std::function<void(const std::string& text)> showWarningBox;
};

class MultiplierFlow {
public:
    MultiplierFlow(MultiplierView& view, MultiplierServices services)
        : view_(view)
        , services_(std::move(services)) {}

    void setTkoeff(int value);
    int getTKoeff() const { return view_.position(); }
    void tkoeffUpDownChanging();
    void tkoeffUpDownClick();
    void tkoeffButtonClick();

private:
    void showPercent();

    MultiplierView& view_;
    MultiplierServices services_;
};

// The dialog's rules: the voltage an entry reads as, and the refusal of one outside 18..22 V
// (nothing when it is accepted).
double measuredVoltage(std::string_view text);
std::optional<std::string>
voltageRefusal(std::string_view text, double voltage,
               const std::function<std::string(std::string_view)>& translate);

} // namespace vorkel
