#include "calibration/tank_shape.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

TEST(TankShape, volumesOfTheThreeShapes) {
    const TankDimensions horizontal{TankShape::HorizontalCylinder, 1000, 0, 0, 600};
    const TankDimensions rectangular{TankShape::Rectangular, 1000, 500, 400, 0};
    const TankDimensions vertical{TankShape::VerticalCylinder, 0, 0, 1000, 1000};
    const struct {
        TankDimensions tank;
        double heightMm;
        double liters;
    } cases[] = {
        {horizontal, 600, 282.74}, {horizontal, 300, 141.37}, {horizontal, 0, 0.0},
        {horizontal, 150, 55.28},  {horizontal, 450, 227.47}, {horizontal, 900, 282.74},
        {rectangular, 400, 200.0}, {rectangular, 100, 50.0},  {rectangular, -5, 0.0},
        {vertical, 1000, 785.40},  {vertical, 500, 392.70},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(litersAt(c.tank, c.heightMm), c.liters, 0.005)
            << static_cast<int>(c.tank.shape) << " at " << c.heightMm;
    }
}

TEST(TankShape, theReadingOfEachDisplayFollowsTheRawLevel) {
    const SensorPlacement sensor{600, 100}; // 600 mm long, its zero 100 mm above the bottom
    EXPECT_EQ(rawLevelAt(100, sensor, 4095), 0u);
    EXPECT_EQ(rawLevelAt(50, sensor, 4095), 0u);
    EXPECT_EQ(rawLevelAt(400, sensor, 4095), 2048u); // 2047.5, rounded
    EXPECT_EQ(rawLevelAt(400, sensor, 1023), 512u);
    EXPECT_EQ(rawLevelAt(700, sensor, 4095), 4095u);
    EXPECT_EQ(rawLevelAt(900, sensor, 4095), 4095u);
    const struct {
        ReadingScale scale;
        const char* text;
    } cases[] = {
        {{ReadingControl::Raw, 4095, 1970, {}}, "2048"},
        {{ReadingControl::Percent, 4095, 1970, {}}, "50.00 %"},
        {{ReadingControl::Voltage, 4095, 1970, {0.0, 10.0}}, "5.00"},
        {{ReadingControl::Voltage, 4095, 1970, {10.0, 0.0}}, "5.00"},
        {{ReadingControl::Frequency, 4095, 1970, {}}, "1015.00"},
        {{ReadingControl::Frequency, 4095, 990, {}}, "525.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readingTextFor(rawLevelAt(400, sensor, 4095), c.scale), c.text);
    }
    EXPECT_EQ(readingTextFor(100, {ReadingControl::Percent, 4095, 1970, {}}), " 2.44 %");
    EXPECT_EQ(readingTextFor(1024, {ReadingControl::Voltage, 4095, 1970, {10.0, 0.0}}), "7.50");
}

TEST(TankShape, aTableFromTheSensorsZeroToTheTopOfWhatItMeasures) {
    ShapeRequest request{{TankShape::HorizontalCylinder, 1000, 0, 0, 600},
                         {800, 0},
                         3,
                         {ReadingControl::Raw, 4095, 1970, {}}};
    const auto rows = std::get<std::vector<ShapeRow>>(shapeTable(request));
    ASSERT_EQ(rows.size(), 3u);
    // The sensor is longer than the tank is high: the table ends at the tank's top.
    EXPECT_EQ(rows[0].cells, (TableRow{"0.00", "0"}));
    EXPECT_EQ(rows[1].cells, (TableRow{"141.37", "1536"}));
    EXPECT_EQ(rows[2].cells, (TableRow{"282.74", "3071"}));
    const std::vector<TableRow> grid = {rows[2].cells, rows[1].cells, rows[0].cells};
    EXPECT_EQ(shapeGridRows(rows), grid);

    const struct {
        void (*change)(ShapeRequest&);
        std::string_view key;
    } refusals[] = {
        {[](ShapeRequest& r) { r.tank.diameterMm = 0; }, "rsShapeBadDimensions"},
        {[](ShapeRequest& r) { r.tank.lengthMm = -1; }, "rsShapeBadDimensions"},
        {[](ShapeRequest& r) { r.sensor.zeroHeightMm = 600; }, "rsShapeBadSensor"},
        {[](ShapeRequest& r) { r.sensor.measuringLengthMm = 0; }, "rsShapeBadSensor"},
        {[](ShapeRequest& r) { r.rows = 1; }, "rsShapeBadRows"},
        {[](ShapeRequest& r) { r.rows = 2 * kLargestShapeTable; }, "rsShapeBadRows"},
        {[](ShapeRequest& r) { // more rows than hundredths of a litre
             r.tank = {TankShape::Rectangular, 10, 10, 10, 0};
             r.rows = 500;
         },
         "rsShapeBadRows"},
    };
    for (const auto& refusal : refusals) {
        ShapeRequest changed = request;
        refusal.change(changed);
        EXPECT_EQ(std::get<std::string_view>(shapeTable(changed)), refusal.key);
    }
}

TEST(TankShape, pouredRowsThatLeaveTheReferenceAreMarked) {
    const ShapeRequest request{{TankShape::Rectangular, 1000, 500, 400, 0},
                               {400, 0},
                               5,
                               {ReadingControl::Percent, 4095, 1970, {}}};
    const ShapeReference reference =
        shapeReference(std::get<std::vector<ShapeRow>>(shapeTable(request)), 2.0);
    ASSERT_EQ(reference.points.size(), 5u);
    EXPECT_NEAR(*referenceLitersAt(reference, 50.0), 100.0, 0.1);
    EXPECT_EQ(referenceLitersAt(reference, 120.0), std::nullopt);
    // 2 % of 200 litres is 4: row 1 is 5 litres off, row 2 three.
    const TankCurve curve =
        tankCurve({{"", ""}, {"105", "50.00 %"}, {"53", "25.00 %"}, {"0", " 0.00 %"}});
    EXPECT_EQ(rowsOffReference(curve, reference), std::vector<int>{1});
    // The plot holds the whole reference, not only the poured half.
    const TankCurve widened = curveWithReference(curve, reference);
    EXPECT_GE(widened.maxLiters, 200.0);
    EXPECT_GE(widened.maxValue, 99.9);
    EXPECT_EQ(widened.rows.size(), curve.rows.size());
}

} // namespace
} // namespace vorkel
