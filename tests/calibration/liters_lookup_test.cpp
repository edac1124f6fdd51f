#include "calibration/liters_lookup.h"

#include <gtest/gtest.h>
#include <limits>

namespace vorkel {
namespace {

LitersLookup loaded(const std::vector<LitersRow>& rows, std::string separator = ".") {
    LitersLookup lookup(std::move(separator));
    lookup.setLoaded();
    lookup.rebuild(rows);
    return lookup;
}

TEST(LitersLookup, interpolatesFromAnImplicitZeroPoint) {
    const LitersLookup lookup = loaded({{"1000", "50"}, {"2000", "150"}});
    const struct {
        std::uint32_t level;
        std::optional<std::string> text;
    } cases[] = {{0, "0.000"},      {500, "25.000"},   {1000, "50.000"},
                 {1500, "100.000"}, {2000, "150.000"}, {2001, std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(lookup.litersText(c.level), c.text) << c.level;
    }
}

TEST(LitersLookup, aZeroWidthSegmentIsSkipped) {
    EXPECT_EQ(loaded({{"0", "10"}, {"100", "20"}}).litersText(0), "10.000");
    EXPECT_EQ(loaded({{"0", "10"}, {"100", "20"}}).litersText(50), "15.000");
}

TEST(LitersLookup, usesTheRowsInTheOrderOfTheirKeys) {
    const LitersLookup lookup = loaded({{"300", "60"}, {"100", "10"}, {"200", "20"}});
    EXPECT_EQ(lookup.litersText(250), "40.000");
    // "$64" is level 100 for the order and for the arithmetic alike.
    const LitersLookup hex = loaded({{"$64", "10"}, {"50", "20"}});
    EXPECT_EQ(hex.litersText(75), "15.000");
}

TEST(LitersLookup, leavesOutIncompleteRowsAndReportsKeysThatAreNoInteger) {
    LitersLookup lookup;
    lookup.setLoaded();
    const std::vector<std::size_t> rejected =
        lookup.rebuild({{"abc", "5"}, {"100", "10"}, {"200", ""}, {"", "30"}, {"1.5", "1"}});
    EXPECT_EQ(rejected, (std::vector<std::size_t>{0, 4}));
    EXPECT_EQ(lookup.litersText(50), "5.000");
    EXPECT_EQ(lookup.litersText(150), std::nullopt); // above the last complete row
}

TEST(LitersLookup, takesNoRowsBeforeTheStoredOnesAreLoaded) {
    LitersLookup lookup;
    EXPECT_TRUE(lookup.rebuild({{"abc", "5"}, {"100", "10"}}).empty());
    EXPECT_EQ(lookup.litersText(50), std::nullopt);
    lookup.setLoaded();
    lookup.rebuild({{"100", "10"}});
    EXPECT_EQ(lookup.litersText(50), "5.000");
    lookup.rebuild({}); // every rebuild replaces the list
    EXPECT_EQ(lookup.litersText(50), std::nullopt);
}

TEST(LitersLookup, writesTheSystemsSeparatorWithoutGrouping) {
    EXPECT_EQ(loaded({{"100", "24691"}}, ",").litersText(50), "12345,500");
    EXPECT_EQ(formatLiters(-0.0001F, "."), "0.000");
    EXPECT_EQ(formatLiters(-2.5F, "."), "-2.500");
    EXPECT_EQ(formatLiters(0.0625F, "."), "0.063"); // an exact tie goes away from zero
    EXPECT_EQ(formatLiters(-0.0625F, "."), "-0.063");
    EXPECT_EQ(formatLiters(0.1F, "."), "0.100");
    EXPECT_EQ(formatLiters(std::numeric_limits<float>::infinity(), "."), std::nullopt);
}

} // namespace
} // namespace vorkel
