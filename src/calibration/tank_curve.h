// The tank curve of the calibration table being built: litres against the sensor value, one
// point per row, and the check of every row against the order of a tank (the value rises with
// the litres). A mistyped row shows up here, in the grid and on the curve, before the table
// reaches a telematics platform. The grid itself is the window's; the curve is painted by
// the window, on the screen and in the report alike.
#pragma once

#include "calibration/table_export.h"
#include "sensor/level_trend.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorkel {

enum class RowCheck {
    ok,
    empty,      // both cells empty: the row waiting for the next volume, left out
    incomplete, // one cell empty
    notANumber, // a cell that is not a number
    notRising,  // next to a row (by litres) whose value does not rise with the litres
    duplicate,  // the same value as another row
};

// A row the engineer should look at before exporting. An incomplete row is not marked while
// it is being filled in, but the export asks about it.
inline bool isMarked(RowCheck check) {
    return check == RowCheck::notANumber || check == RowCheck::notRising ||
           check == RowCheck::duplicate;
}

// The translation key of what is wrong with a row ("rsRowNotRising", ...); empty for ok.
std::string_view rowCheckReasonKey(RowCheck check);

struct CurvePoint {
    int gridRow = 0;        // from 0, top to bottom
    std::size_t number = 0; // as the engineer reads it (exportRowNumber)
    double liters = 0.0;
    double value = 0.0; // both valid only for the checks ok, notRising and duplicate
    RowCheck check = RowCheck::ok;
};

struct TankCurve {
    std::vector<CurvePoint> rows; // every row that is not empty, in the order of the export
    // Plot ranges (from 0, or below when a number is negative) and their grid lines.
    double minValue = 0.0, maxValue = 1.0, minLiters = 0.0, maxLiters = 1.0;
    std::vector<PlotTick> valueTicks, litersTicks;

    // The rows with numbers, by litres: the line of the curve.
    std::vector<CurvePoint> line() const;
};

// A cell as a number, by the litres table's rule (parseDecimalNumber: "." or "," as the decimal
// separator), after a " %" of a percentage reading is taken off; numbers of 1e15 and beyond
// are no numbers.
std::optional<double> tableNumber(std::string_view text);

TankCurve tankCurve(const std::vector<TableRow>& gridRows);

// The row to name before an export: the first, in the order of the export, that is marked
// or incomplete.
const CurvePoint* firstBadRow(const TankCurve& curve);
// "Row 2 (10; 1500): the value does not rise with the litres.\nDownload the table anyway?",
// or nothing when every row is sound.
std::optional<std::string>
tableOrderQuestion(const std::vector<TableRow>& gridRows,
                   const std::function<std::string(std::string_view)>& translate);

// The curve's plot ranges and grid lines laid anew to hold these (value, litres) points as well
// as its own (a reference curve drawn beside it).
void widenCurveRanges(TankCurve& curve, const std::vector<std::pair<double, double>>& points);

// The grid and the curve beside it.
class TankCurveView {
public:
    virtual ~TankCurveView() = default;
    virtual std::vector<TableRow> tableRows() const = 0; // top to bottom
    virtual void showCurve(const TankCurve& curve) = 0;  // marks the rows, repaints the curve
};

// Follows the grid: every change redraws the curve and the marks.
class CalibrationCurve {
public:
    explicit CalibrationCurve(TankCurveView& view)
        : view_(view) {}
    void tarEditorStringsChange();
    const TankCurve& curve() const { return curve_; }

private:
    TankCurveView& view_;
    TankCurve curve_;
};

} // namespace vorkel
