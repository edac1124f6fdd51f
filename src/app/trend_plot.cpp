#include "app/trend_plot.h"

#include "app/plot_style.h"
#include "app/widgets/paint_box.h"
#include "calibration/guided_pouring.h"

#include <QPainterPath>

namespace vorkel {
namespace {

using plot_style::kGrid;
using plot_style::kLine;

const QColor kStableFill(200, 235, 200);

} // namespace

TrendPlot::TrendPlot(TPaintBox& box)
    : box_(box) {
    box_.onPaint = [this](QPainter& painter) { paint(painter); };
}

void TrendPlot::show(const LevelTrend& trend, unsigned fullScale) {
    trend_ = &trend;
    fullScale_ = fullScale;
    if (box_.isVisible()) { // Qt drops the request itself when not; this spares the call
        box_.update();
    }
}

void TrendPlot::paint(QPainter& painter) const {
    static const LevelTrend kNoSamples;
    const TrendPicture picture = trendPicture(trend_ ? *trend_ : kNoSamples, fullScale_);
    const QRect whole = box_.rect();
    painter.fillRect(whole, box_.palette().color(QPalette::Base));
    const QFontMetrics metrics = painter.fontMetrics();
    const int left = metrics.horizontalAdvance(QStringLiteral("40950")) + 4;
    const int bottom = metrics.height() + 4;
    const QRectF area(left, metrics.height() / 2.0, whole.width() - left - metrics.height(),
                      whole.height() - bottom - metrics.height() / 2.0);
    if (area.width() <= 0 || area.height() <= 0) {
        return;
    }
    const auto at = [&area](double x, double y) {
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };

    for (const TrendPicture::Stretch& stretch : picture.stable) {
        const QPointF from = at(stretch.from, 1.0);
        const QPointF to = at(stretch.to, 0.0);
        painter.fillRect(QRectF(from, to).adjusted(-1, 0, 1, 0), kStableFill);
    }
    const QColor text = box_.palette().color(QPalette::Text);
    for (const PlotTick& tick : picture.levels) {
        const QPointF point = at(0.0, tick.position);
        painter.setPen(kGrid);
        painter.drawLine(point, at(1.0, tick.position));
        painter.setPen(text);
        painter.drawText(QRectF(0, point.y() - metrics.height() / 2.0, left - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(tick.label));
    }
    for (const PlotTick& tick : picture.minutes) {
        const QPointF point = at(tick.position, 0.0);
        painter.setPen(kGrid);
        painter.drawLine(point, at(tick.position, 1.0));
        painter.setPen(text);
        const QString label =
            tick.position >= 1.0 ? minutesCaption_ : QString::fromStdString(tick.label);
        const double width = metrics.horizontalAdvance(label) + 2;
        const double x = std::min(point.x() - width / 2, whole.width() - width);
        painter.drawText(QRectF(x, area.bottom() + 2, width, metrics.height()), Qt::AlignCenter,
                         label);
    }
    painter.setPen(box_.palette().color(QPalette::Mid));
    painter.drawRect(area);
    if (markTicks_ && trend_ != nullptr) {
        painter.setPen(QPen(plot_style::kMark, 1.5, Qt::DashLine));
        for (const double x : trendMarkPositions(*trend_, markTicks_())) {
            painter.drawLine(at(x, 0.0), at(x, 1.0));
        }
    }

    QPainterPath path;
    for (const TrendPicture::Point& point : picture.points) {
        if (point.startsLine) {
            path.moveTo(at(point.x, point.y));
        } else {
            path.lineTo(at(point.x, point.y));
        }
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kLine, 1.5));
    painter.drawPath(path);
    if (!picture.points.empty()) {
        painter.setBrush(kLine);
        painter.drawEllipse(at(picture.points.back().x, picture.points.back().y), 2.5, 2.5);
    }
}

} // namespace vorkel
