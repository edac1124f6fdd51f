#include "app/trend_plot.h"

#include "app/plot_style.h"
#include "app/widgets/paint_box.h"

#include <QPainterPath>

namespace vorkel {
namespace {

using plot_style::kGrid;
using plot_style::kLine;

const QColor kStableFill(200, 235, 200);

} // namespace

TrendPlot::TrendPlot(TPaintBox& box, std::function<TrendPicture()> picture)
    : box_(box)
    , picture_(std::move(picture)) {
    box_.onPaint = [this](QPainter& painter) { paint(painter); };
    idleRepaint_.setInterval(kIdleRepaintMs);
    QObject::connect(&idleRepaint_, &QTimer::timeout, &box_, [this] { repaintIfShown(); });
    box_.onShown = [this](bool shown) {
        if (shown) {
            idleRepaint_.start(); // Qt paints a box that comes on the screen by itself
        } else {
            idleRepaint_.stop();
        }
    };
    if (box_.isVisible()) {
        idleRepaint_.start();
    }
}

TrendPlot::~TrendPlot() {
    // The box outlives the plot (it belongs to the window); it must not call back into it.
    box_.onPaint = nullptr;
    box_.onShown = nullptr;
}

void TrendPlot::refresh() {
    repaintIfShown();
}

void TrendPlot::repaintIfShown() {
    if (!box_.isVisible()) { // Qt drops the request itself when not; this spares the call
        idleRepaint_.stop();
        return;
    }
    box_.update();
    idleRepaint_.start(); // from now: while replies come, the timer never fires
}

void TrendPlot::paint(QPainter& painter) const {
    const TrendPicture picture = picture_();
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
    if (marks_) {
        painter.setPen(QPen(plot_style::kMark, 1.5, Qt::DashLine));
        for (const double x : marks_()) {
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
    if (picture.current) { // the sensor's level now; a line that ended has no mark
        painter.setBrush(kLine);
        painter.drawEllipse(at(picture.points.back().x, picture.points.back().y), 2.5, 2.5);
    }
}

} // namespace vorkel
