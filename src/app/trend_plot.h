// The level trend plot on the readings page: the picture of LevelTrend painted into a paint
// box. Its time axis ends at the present, so it repaints after each level reply and, while no
// reply comes, on a slow timer that lets the line move away from "now"; all of it only while
// the box is on the screen: a hidden window or another page costs nothing.
#pragma once

#include "sensor/level_trend.h"

#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

namespace vorkel {

class TPaintBox;

class TrendPlot {
public:
    // Longer than the time between two polls (a second and the reply), so that while replies
    // come they alone repaint; the axis moves about two pixels at a time while none come.
    static constexpr int kIdleRepaintMs = 1500;

    // `picture` gives what to paint at the moment of painting.
    TrendPlot(TPaintBox& box, std::function<TrendPicture()> picture);
    ~TrendPlot();
    TrendPlot(const TrendPlot&) = delete;
    TrendPlot& operator=(const TrendPlot&) = delete;

    // The trend changed: a new sample, or a new trend.
    void refresh();
    void setMinutesCaption(const QString& caption) { minutesCaption_ = caption; }
    // Whether it repaints while no reply comes (only while the box is seen).
    bool followsTheClock() const { return idleRepaint_.isActive(); }
    // Where dashed lines mark moments (0..1 along the axis, as the picture's points): the rows
    // guided pouring recorded.
    void setMarks(std::function<std::vector<double>()> marks) { marks_ = std::move(marks); }

private:
    void paint(QPainter& painter) const;
    void repaintIfShown();

    TPaintBox& box_;
    std::function<TrendPicture()> picture_;
    QTimer idleRepaint_;
    QString minutesCaption_ = QStringLiteral("min");
    std::function<std::vector<double>()> marks_;
};

} // namespace vorkel
