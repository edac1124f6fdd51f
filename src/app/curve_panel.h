// Binder of the tank curve beside the calibration grid: every change of tarEditor redraws the
// curve in tankCurveBox, numbers the grid's rows as the exports and the report do, and colours
// the rows out of order, with what is wrong with them as their tool tip.
#pragma once

#include "calibration/tank_curve.h"
#include "calibration/tank_shape.h"

#include <functional>
#include <string>
#include <string_view>

namespace Ui {
class TmainForm;
}

namespace vorkel {

class CurvePanel : public TankCurveView {
public:
    CurvePanel(Ui::TmainForm& ui, std::function<std::string(std::string_view)> translate)
        : ui_(ui)
        , translate_(std::move(translate)) {}
    void connectTo(CalibrationCurve& curve);

    // The table from the tank's shape drawn beside the curve; nothing: none.
    void setReference(const ShapeReference* reference);

    std::vector<TableRow> tableRows() const override;
    void showCurve(const TankCurve& curve) override;

private:
    Ui::TmainForm& ui_;
    std::function<std::string(std::string_view)> translate_;
    const TankCurve* curve_ = nullptr;
    const ShapeReference* reference_ = nullptr;
};

} // namespace vorkel
