// The level trend plot on the readings page: the picture of LevelTrend painted into a paint
// box. It repaints after each level reply, and only while the box is on the screen; a hidden
// window or another page costs nothing.
#pragma once

#include "sensor/level_trend.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;
class QRectF;

namespace vorkel {

class TPaintBox;

class TrendPlot {
public:
    explicit TrendPlot(TPaintBox& box);

    void show(const LevelTrend& trend, unsigned fullScale);
    void setMinutesCaption(const QString& caption) { minutesCaption_ = caption; }
    // The moments (tick counts) marked with a dashed line: the rows guided pouring recorded.
    void setMarks(std::function<std::vector<std::uint32_t>()> markTicks) {
        markTicks_ = std::move(markTicks);
    }

private:
    void paint(QPainter& painter) const;

    TPaintBox& box_;
    const LevelTrend* trend_ = nullptr;
    unsigned fullScale_ = 4095;
    QString minutesCaption_ = QStringLiteral("min");
    std::function<std::vector<std::uint32_t>()> markTicks_;
};

} // namespace vorkel
