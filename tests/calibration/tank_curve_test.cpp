#include "calibration/tank_curve.h"
#include "calibration_fixture.h"

namespace vorkel {
namespace {

TEST(TableNumber, takesDecimalsWithEitherSeparatorAndPercentReadings) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"1500", 1500.0},
        {" 10,5 ", 10.5},
        {"42.15 %", 42.15},
        {"-3", -3.0},
        {"+.5", 0.5},
        {"7.", 7.0},
        {"", std::nullopt},
        {"1.5.0", std::nullopt},
        {"12a", std::nullopt},
        {"%", std::nullopt},
        {"1 000", std::nullopt},
        {"-", std::nullopt},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(tableNumber(text), number) << text;
    }
}

// Grid rows top to bottom, as "Read the level into table" builds them (newest on top).
TEST(TankCurve, checksEveryRowAgainstTheOrderOfTheTank) {
    const struct {
        std::vector<TableRow> grid;
        std::vector<RowCheck> checks; // in the order of the export (bottom to top), empty ones out
    } cases[] = {
        {{{"", ""}, {"20", "1700"}, {"10", "900"}, {"0", "100"}},
         {RowCheck::ok, RowCheck::ok, RowCheck::ok}},
        // 3000 mistyped for 300: it and its neighbour by litres stand out.
        {{{"30", "2500"}, {"20", "1700"}, {"10", "3000"}, {"0", "100"}},
         {RowCheck::ok, RowCheck::notRising, RowCheck::notRising, RowCheck::ok}},
        // Typed in any order, the litres decide.
        {{{"0", "100"}, {"20", "1700"}, {"10", "900"}}, {RowCheck::ok, RowCheck::ok, RowCheck::ok}},
        {{{"20", "900"}, {"10", "900"}, {"0", "100"}},
         {RowCheck::ok, RowCheck::duplicate, RowCheck::duplicate}},
        {{{"10,5", "9OO"}, {"5", ""}, {"0", "100"}},
         {RowCheck::ok, RowCheck::incomplete, RowCheck::notANumber}},
        {{{"10", "50.00 %"}, {"10.0", "60.00 %"}}, {RowCheck::notRising, RowCheck::notRising}},
    };
    for (const auto& c : cases) {
        const TankCurve curve = tankCurve(c.grid);
        std::vector<RowCheck> checks;
        for (const CurvePoint& point : curve.rows) {
            checks.push_back(point.check);
        }
        EXPECT_EQ(checks, c.checks) << c.grid.front().liters << "/" << c.grid.front().values;
    }
}

TEST(TankCurve, spansItsPointsWithRoundGridLines) {
    const TankCurve curve = tankCurve({{"45", "3300"}, {"", "x"}, {"0", "100"}});
    EXPECT_EQ(curve.minValue, 0.0);
    EXPECT_EQ(curve.maxValue, 4000.0);
    EXPECT_EQ(curve.maxLiters, 50.0);
    ASSERT_EQ(curve.valueTicks.size(), 5u);
    EXPECT_EQ(curve.valueTicks[1].label, "1000");
    EXPECT_EQ(curve.valueTicks[1].position, 0.25);
    EXPECT_EQ(curve.litersTicks.back().label, "50");
    ASSERT_EQ(curve.line().size(), 2u);
    EXPECT_EQ(curve.line().front().value, 100.0);

    const TankCurve empty = tankCurve({{"", ""}});
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_LT(empty.minValue, empty.maxValue); // a plot without points still has its axes
    EXPECT_EQ(tankCurve({{"-0,3", "-2"}, {"0,1", "5"}}).litersTicks.front().label, "-0.3");
}

// Values too close to 0 for a step of powers of ten (subnormal numbers): a grid line at each
// end of the axis (and at 0 between them), none beyond.
TEST(TankCurve, aRangeTooSmallToDivideHasGridLinesOnlyAtItsEnds) {
    const struct {
        const char* low;
        const char* high;
        std::vector<std::pair<double, std::string>> ticks;
    } cases[] = {
        {"1e-310", "2e-310", {{0.0, "0"}, {1.0, "2e-310"}}},
        {"1e-320", "3e-320", {{0.0, "0"}, {1.0, "2.9999666e-320"}}},
        {"-1e-310", "1e-310", {{0.0, "-2e-310"}, {0.5, "0"}, {1.0, "2e-310"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<double, std::string>> ticks;
        for (const PlotTick& tick : tankCurve({{"10", c.high}, {"0", c.low}}).valueTicks) {
            ticks.emplace_back(tick.position, tick.label);
        }
        EXPECT_EQ(ticks, c.ticks) << c.low << ".." << c.high;
    }
}

TEST(TankCurve, theQuestionNamesTheFirstBadRowOfTheExport) {
    EXPECT_EQ(tableOrderQuestion({{"", ""}, {"10", "900"}, {"0", "100"}}, test::calibrationText),
              std::nullopt);
    // Rows are numbered in the order of the export, from 1 at the bottom: row 2 (10 l) comes
    // before row 4 ("abc").
    EXPECT_EQ(tableOrderQuestion({{"20", "abc"}, {"30", "900"}, {"10", "900"}, {"0", "100"}},
                                 test::calibrationText),
              "Row 2 (10; 900): the same value as another row\nDownload the table anyway?");
}

} // namespace
} // namespace vorkel
