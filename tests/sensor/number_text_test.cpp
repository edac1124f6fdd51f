#include "sensor/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <string>

namespace vorkel {
namespace {

TEST(TwoDecimals, roundsExactTiesAwayFromZero) {
    const struct {
        double value;
        int width;
        const char* expected;
    } cases[] = {
        {3.125, 5, " 3.13"}, // level 128 of 4096; printf would give 3.12
        {50.0, 5, "50.00"},
        {0.0, 5, " 0.00"},
        {99.9755859375, 5, "99.98"},
        {1999.5244140625, 0, "1999.52"},
        {0.005, 0, "0.01"},        // held just above 0.005
        {2.675, 0, "2.67"},        // held just below 2.675
        {0.125, 0, "0.13"},
        {-0.125, 0, "-0.13"},
        {-3.125, 7, "  -3.13"},
        {9.995, 0, "9.99"},        // held just below 9.995
        {9.99609375, 0, "10.00"},  // carry into a new digit
        {999.995, 0, "1000.00"},   // held just above 999.995
        {-0.001, 0, "0.00"},       // no "-0.00"
        {-0.0, 0, "0.00"},
        {105.26315789473684, 3, "105.26"},
        {86.63157894736842, 3, "86.63"},
        {1e20, 0, "100000000000000000000.00"},
        {std::numeric_limits<double>::denorm_min(), 0, "0.00"},
        {100.0, 3, "100.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatTwoDecimals(c.value, c.width), c.expected) << c.value;
    }
}

TEST(TwoDecimals, writesNonFiniteValuesAsWords) {
    EXPECT_EQ(formatTwoDecimals(std::numeric_limits<double>::infinity(), 5), "  inf");
    EXPECT_EQ(formatTwoDecimals(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(formatTwoDecimals(std::nan("")), "nan");
}

// A decimal comma and a thousands separator, as a German or Russian system would have.
class CommaNumpunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(TwoDecimals, ignoresTheLocale) {
    const std::locale previous = std::locale::global(
        std::locale(std::locale::classic(), new CommaNumpunct));
    // The C library's locale too, where the system has one with a decimal comma.
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    bool cLocaleChanged = false;
    for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8", "German_Germany.1252"}) { // Windows
        cLocaleChanged = cLocaleChanged || std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    const std::string text = formatTwoDecimals(12345.125, 10);
    std::locale::global(previous);
    std::setlocale(LC_ALL, previousC.c_str());
    EXPECT_EQ(text, "  12345.13");
    if (!cLocaleChanged) {
        GTEST_LOG_(INFO) << "no C locale with a decimal comma installed; checked the C++ one";
    }
}

TEST(RoundHalfToEven, picksTheEvenNeighbourOnTies) {
    const struct {
        double value;
        double expected;
    } cases[] = {
        {101.5, 102}, {100.5, 100}, {100.84, 101}, {2.5, 2}, {3.5, 4}, {-12.5, -12},
        {-13.5, -14}, {37.5, 38}, {-0.4, -0.0}, {-45.24, -45}, {0.49999999999999994, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundHalfToEven(c.value), c.expected) << c.value;
    }
}

} // namespace
} // namespace vorkel
