// The colours that the level trend and the tank curve share, so that both pictures (and the
// report, which paints the curve) read as one family.
#pragma once

#include <QColor>

namespace vorkel::plot_style {

inline const QColor kGrid(220, 220, 220);
inline const QColor kLine(20, 60, 160);
// What guided pouring and the shape of the tank add: the recorded moments, the reference curve.
inline const QColor kMark(230, 130, 0);

} // namespace vorkel::plot_style
