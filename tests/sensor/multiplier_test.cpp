#include "sensor/multiplier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vorkel {
namespace {

TEST(MultiplierPercent, textHasTwoDecimals) {
    const struct {
        int position;
        const char* text;
    } cases[] = {{0, "100.00 %"},   {-5, "99.47 %"},   {127, "113.37 %"}, {-127, "86.63 %"},
                 {50, "105.26 %"},  {-45, "95.26 %"},  {-1, "99.89 %"}};
    for (const auto& c : cases) {
        EXPECT_EQ(multiplierPercentText(c.position), c.text) << c.position;
    }
}

TEST(ComputeMultiplier, scalesTheFullTankOutputTo20Volts) {
    const struct {
        int position;
        double voltage;
        int expected;
    } cases[] = {
        {0, 19.0, 50},
        {0, 20.0, 0},
        {0, 21.0, -45},
        {127, 18.0, 127},  // 246.66 limited
        {-127, 22.0, -127}, // -213.5 limited
        {-50, 19.2, -12},  // -12.5: ties to even
        {-2, 19.2, 38},    // 37.5: ties to even
        {0, 0.0, 127},     // infinite, limited
    };
    for (const auto& c : cases) {
        EXPECT_EQ(computeMultiplier(c.position, c.voltage), c.expected)
            << c.position << " at " << c.voltage << " V";
    }
    EXPECT_EQ(computeMultiplier(7, std::nan("")), 7);
}

TEST(VoltageEntry, readsTheFirstCommaAsThePoint) {
    const struct {
        const char* text;
        double voltage;
    } cases[] = {{"19,5", 19.5}, {"1a9", 19},   {"2,0,5", 2.05}, {"18", 18},
                 {"", 0},        {"abc", 0},    {"21.5", 21.5},  {"2e1", 20}};
    for (const auto& c : cases) {
        EXPECT_EQ(voltageFromEntry(c.text), c.voltage) << c.text;
    }
}

TEST(VoltageEntry, acceptsFrom18To22) {
    const struct {
        double voltage;
        bool accepted;
    } cases[] = {{18.0, true},  {22.0, true},  {19.5, true},
                 {17.99, false}, {22.01, false}, {0.0, false},
                 {std::nan(""), false}, {std::numeric_limits<double>::infinity(), false}};
    for (const auto& c : cases) {
        EXPECT_EQ(isVoltageAccepted(c.voltage), c.accepted) << c.voltage;
    }
}

TEST(VoltageEntry, refusalTextKeepsTheEntryAsTyped) {
    EXPECT_EQ(voltageRefusalText("25", " Enter a number from ", " to "),
              "Введено: 25\r\n Enter a number from 18 to 22!");
    EXPECT_EQ(voltageRefusalText("1 7,9", "A", "B", "X"), "X1 7,9\r\nA18B22!");
}

} // namespace
} // namespace vorkel
