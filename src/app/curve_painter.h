// The tank curve painted: litres against the sensor value, the rows out of order in red. The
// one painting of the curve, for the calibration page and for the report alike; sizes follow
// the painter's font, so the same code fits a small box on the screen and a page of paper.
#pragma once

#include "calibration/tank_curve.h"
#include "calibration/tank_shape.h"

#include <QString>

class QPainter;
class QRectF;

namespace vorkel {

struct CurveCaptions {
    QString values; // the horizontal axis
    QString liters; // the vertical axis
};

// With a reference (the table from the tank's shape), the plot holds it too: a dashed line, and
// the poured rows that leave it by more than its tolerance ringed.
void paintTankCurve(QPainter& painter, const QRectF& area, const TankCurve& curve,
                    const CurveCaptions& captions, const ShapeReference* reference = nullptr);

} // namespace vorkel
