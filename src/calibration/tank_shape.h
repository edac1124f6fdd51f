// A calibration table computed from a tank's shape, for tanks that cannot be poured: the litres
// at evenly spaced heights of a rectangular tank, a vertical cylinder or a horizontal cylinder
// with flat ends, and the reading that the selected display would show at each height. The
// table can fill the grid, or stand beside it as a reference that poured rows are checked
// against.
#pragma once

#include "calibration/tank_curve.h"
#include "sensor/readings.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vorkel {

enum class TankShape { Rectangular, VerticalCylinder, HorizontalCylinder };

// Inner dimensions in millimetres. Rectangular: length, width, height. Vertical cylinder:
// diameter, height. Horizontal cylinder: diameter, length.
struct TankDimensions {
    TankShape shape = TankShape::Rectangular;
    double lengthMm = 0.0;
    double widthMm = 0.0;
    double heightMm = 0.0;
    double diameterMm = 0.0;
};

// From the bottom to the top inside the tank.
double tankHeightMm(const TankDimensions& tank);
// Litres up to a height above the bottom (clamped to the tank). A horizontal cylinder of radius
// R and length L holds L·(R²·acos((R−h)/R) − (R−h)·√(2Rh − h²)) at height h.
double litersAt(const TankDimensions& tank, double heightMm);

// The sensor in the tank: its measuring length, and the height of its zero above the bottom.
struct SensorPlacement {
    double measuringLengthMm = 0.0;
    double zeroHeightMm = 0.0;
};

// The display whose text a row takes, with what its conversion needs (as the live displays
// have it now).
struct ReadingScale {
    ReadingControl display = ReadingControl::Raw;
    unsigned fullScale = 4095;
    unsigned frequencySpan = 1970;
    OutputVoltages voltages;
};

// The raw level at a height: 0 at the sensor's zero, full scale at its measuring length,
// rounded, and held within 0..full scale.
std::uint32_t rawLevelAt(double heightMm, const SensorPlacement& sensor, unsigned fullScale);
// The text the display shows for a level: " 2.51 %", "103", "0.25", "79.61".
std::string readingTextFor(std::uint32_t level, const ReadingScale& scale);

struct ShapeRequest {
    TankDimensions tank;
    SensorPlacement sensor;
    int rows = 0; // 2 .. kLargestShapeTable
    ReadingScale scale;
};
inline constexpr int kLargestShapeTable = 1000;

struct ShapeRow {
    double heightMm = 0.0;
    double liters = 0.0;
    std::uint32_t level = 0;
    TableRow cells; // litres with two decimals ("141.37"), the display's text
};

// From the sensor's zero (the lowest) to the top of what it measures within the tank, or the
// translation key of what is wrong with the request ("rsShapeBadDimensions", ...).
std::variant<std::vector<ShapeRow>, std::string_view> shapeTable(const ShapeRequest& request);
// The rows as the grid takes them: the highest on top, so that the export lists them from the
// lowest up, as a poured table.
std::vector<TableRow> shapeGridRows(const std::vector<ShapeRow>& rows);

// The computed curve beside the poured one: its points as numbers (value, litres), by height,
// and how far a poured row may leave it, in percent of the litres at the top of the table.
struct ShapeReference {
    struct Point {
        double value = 0.0;
        double liters = 0.0;
    };
    std::vector<Point> points;
    double tolerancePercent = 2.0;
};
ShapeReference shapeReference(const std::vector<ShapeRow>& rows, double tolerancePercent);
// The reference's litres at a reading (between its points; nothing outside them).
std::optional<double> referenceLitersAt(const ShapeReference& reference, double value);
// The grid rows (from 0) of the curve's numbered rows that leave the reference by more than
// its tolerance.
std::vector<int> rowsOffReference(const TankCurve& curve, const ShapeReference& reference);
// The curve with its plot ranges widened to hold the reference as well.
TankCurve curveWithReference(TankCurve curve, const ShapeReference& reference);

} // namespace vorkel
