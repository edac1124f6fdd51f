// The level trend plot on the readings page: the picture of LevelTrend painted into a paint
// box. It repaints after each level reply, and only while the box is on the screen; a hidden
// window or another page costs nothing.
#pragma once

#include "sensor/level_trend.h"

#include <QString>

class QPainter;
class QRectF;

namespace vorkel {

class TPaintBox;

class TrendPlot {
public:
    explicit TrendPlot(TPaintBox& box);

    void show(const LevelTrend& trend, unsigned fullScale);
    void setMinutesCaption(const QString& caption) { minutesCaption_ = caption; }

private:
    void paint(QPainter& painter) const;

    TPaintBox& box_;
    const LevelTrend* trend_ = nullptr;
    unsigned fullScale_ = 4095;
    QString minutesCaption_ = QStringLiteral("min");
};

} // namespace vorkel
