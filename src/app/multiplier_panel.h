// Binder of the technological multiplier: its up-down, the percent beside it and the button
// that computes a new one.
#pragma once

#include "sensor/multiplier_flow.h"

namespace Ui {
class TmainForm;
}

namespace vorkel {

class MultiplierPanel : public MultiplierView {
public:
    explicit MultiplierPanel(Ui::TmainForm& ui)
        : ui_(ui) {}
    void connectTo(MultiplierFlow& multiplier);

    int position() const override;
    void showPosition(int position) override;
    void showPercent(const std::string& text) override;

private:
    Ui::TmainForm& ui_;
};

} // namespace vorkel
