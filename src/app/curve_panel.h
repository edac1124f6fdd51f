// Binder of the tank curve beside the calibration grid: every change of tarEditor redraws the
// curve in tankCurveBox, and the rows out of order are coloured in the grid.
#pragma once

#include "calibration/tank_curve.h"

namespace Ui {
class TmainForm;
}

namespace vorkel {

class CurvePanel : public TankCurveView {
public:
    explicit CurvePanel(Ui::TmainForm& ui)
        : ui_(ui) {}
    void connectTo(CalibrationCurve& curve);

    std::vector<TableRow> tableRows() const override;
    void showCurve(const TankCurve& curve) override;

private:
    Ui::TmainForm& ui_;
    const TankCurve* curve_ = nullptr;
};

} // namespace vorkel
