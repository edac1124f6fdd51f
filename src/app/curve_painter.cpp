#include "app/curve_painter.h"

#include "app/plot_style.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace vorkel {
namespace {

using plot_style::kGrid;
using plot_style::kLine;

const QColor kMarked(210, 30, 30);

template <typename At>
void paintReference(QPainter& painter, const TankCurve& curve, const ShapeReference& reference,
                    const At& at, double thin) {
    QPainterPath path;
    for (std::size_t i = 0; i < reference.points.size(); ++i) {
        const QPointF point = at(reference.points[i].value, reference.points[i].liters);
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    painter.setPen(QPen(plot_style::kMark, thin * 1.5, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    const std::vector<int> off = rowsOffReference(curve, reference);
    const double ring = QFontMetricsF(painter.font(), painter.device()).height() / 2.5;
    painter.setPen(QPen(plot_style::kMark, thin * 1.5));
    for (const CurvePoint& point : curve.line()) {
        if (std::find(off.begin(), off.end(), point.gridRow) != off.end()) {
            painter.drawEllipse(at(point.value, point.liters), ring, ring);
        }
    }
}

} // namespace

void paintTankCurve(QPainter& painter, const QRectF& whole, const TankCurve& poured,
                    const CurveCaptions& captions, const ShapeReference* reference) {
    const TankCurve curve = reference ? curveWithReference(poured, *reference) : poured;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double line = metrics.height();
    double labelWidth = metrics.horizontalAdvance(captions.liters);
    for (const PlotTick& tick : curve.litersTicks) {
        labelWidth =
            std::max(labelWidth, metrics.horizontalAdvance(QString::fromStdString(tick.label)));
    }
    const QRectF area = whole.adjusted(labelWidth + line / 2, line * 1.5, -line, -line * 2.4);
    if (area.width() <= 0 || area.height() <= 0) {
        painter.restore();
        return;
    }
    const auto at = [&](double value, double liters) {
        const double x = (value - curve.minValue) / (curve.maxValue - curve.minValue);
        const double y = (liters - curve.minLiters) / (curve.maxLiters - curve.minLiters);
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };
    const QColor text(Qt::black);
    const double thin = std::max(1.0, line / 16);

    for (const PlotTick& tick : curve.litersTicks) {
        const double y = area.bottom() - tick.position * area.height();
        painter.setPen(QPen(kGrid, thin));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(whole.left(), y - line / 2, labelWidth, line),
                         Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(tick.label));
    }
    for (const PlotTick& tick : curve.valueTicks) {
        const double x = area.left() + tick.position * area.width();
        painter.setPen(QPen(kGrid, thin));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(text);
        const QString label = QString::fromStdString(tick.label);
        const double width = metrics.horizontalAdvance(label);
        painter.drawText(
            QRectF(x - width / 2 - line, area.bottom() + line * 0.2, width + 2 * line, line),
            Qt::AlignCenter, label);
    }
    painter.setPen(QPen(Qt::gray, thin));
    painter.drawRect(area);
    painter.setPen(text);
    painter.drawText(QRectF(whole.left(), whole.top(), whole.width(), line), Qt::AlignLeft,
                     captions.liters);
    painter.drawText(QRectF(area.left(), whole.bottom() - line, area.width(), line),
                     Qt::AlignCenter, captions.values);

    if (reference != nullptr) {
        paintReference(painter, curve, *reference, at, thin);
    }
    QPainterPath path;
    const std::vector<CurvePoint> points = curve.line();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF point = at(points[i].value, points[i].liters);
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    painter.setPen(QPen(kLine, thin * 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    const double radius = line / 5;
    for (const CurvePoint& point : points) {
        const bool marked = isMarked(point.check);
        painter.setPen(QPen(marked ? kMarked : kLine, thin));
        painter.setBrush(marked ? kMarked : kLine);
        const double r = marked ? radius * 1.6 : radius;
        painter.drawEllipse(at(point.value, point.liters), r, r);
    }
    painter.restore();
}

} // namespace vorkel
