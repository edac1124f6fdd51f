#include "sensor/number_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vorkel {
namespace {

struct StrictCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

TEST(StrictIntegerParse, acceptsOnlyWholeNumbers) {
    const StrictCase cases[] = {
        {"100", 100},
        {" 100", 100},
        {"   -7", -7},
        {"+7", 7},
        {"007", 7},
        {"$64", 100},
        {"0x64", 100},
        {"x64", 100},
        {"0X1f", 31},
        {"$aBc", 0xABC},
        {"-$10", -16},
        {"-1", -1},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"$7FFFFFFF", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$80000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"100 ", std::nullopt},
        {"1a9", std::nullopt},
        {"12,5", std::nullopt},
        {"- 5", std::nullopt},
        {"--5", std::nullopt},
        {"$g", std::nullopt},
        {"64h", std::nullopt},
        {"\t5", std::nullopt},
    };
    for (const StrictCase& c : cases) {
        EXPECT_EQ(parseStrictInteger(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(LenientIntegerParse, readsTheLeadingDigits) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* text;
        std::int64_t expected;
    } cases[] = {
        {"007", 7},
        {"1a9", 1},
        {"-12x", -12},
        {"+5", 5},
        {"", 0},
        {"-", 0},
        {"off", 0},
        {" 5", 0}, // the sign, or a digit, must come first
        {"5-3", 5},
        {"128 s", 128},
        {"300", 300},
        {"9223372036854775807", kMax},
        {"9223372036854775808", kMax},
        {"99999999999999999999999999", kMax},
        {"-9223372036854775808", kMin},
        {"-9223372036854775809", kMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseLenientInteger(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(DecimalParse, skipsWhatIsNotPartOfANumber) {
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"19.5", 19.5},
        {"12,5", 125},
        {"1.5e2", 150},
        {"1.5E-1", 0.15},
        {"2e+3", 2000},
        {"1a9", 19},
        {"2.0.5", 2.0},
        {"2.0,5", 2.05},
        {"-3.25", -3.25},
        {"3-2", 32},
        {"+4", 4},
        {" 1 000 ", 1000},
        {"-", 0},
        {".", 0},
        {"", 0},
        {"abc", 0},
        {".5", 0.5},
        {"1e", 1},
        {"1e-", 1},
        {"e5", 0},
        {"1e2.5", 1e25}, // in the exponent everything but digits is skipped
        {"0.1", 0.1},
        {"0.000001", 1e-6},
        {"1e-400", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseDecimal(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(DecimalParse, saturatesInsteadOfOverflowing) {
    EXPECT_EQ(parseDecimal("1e99999999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseDecimal("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseDecimal("1e-99999999999999999999999"), 0.0);
    EXPECT_EQ(parseDecimal(std::string(5000, '9')), std::numeric_limits<double>::infinity());
    // Many digits before a huge negative exponent still give a finite, correct value.
    EXPECT_DOUBLE_EQ(parseDecimal(std::string(1000, '1') + "e-999"), 1.1111111111111111);
    EXPECT_DOUBLE_EQ(parseDecimal("0." + std::string(2000, '0') + "5e2005"), 50000.0);
}

TEST(DecimalParse, roundsCorrectlyAtTheEndOfTheKeptDigits) {
    // 2^53 + 1 lies exactly between two doubles; anything after the tie must round up.
    EXPECT_EQ(parseDecimal("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(parseDecimal("9007199254740993" + std::string(900, '0') + "1e-901"),
              9007199254740994.0);
}

} // namespace
} // namespace vorkel
