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

TEST(LitersLookup, leavesOutIncompleteRowsAndReportsCellsThatAreNoNumber) {
    LitersLookup lookup;
    lookup.setLoaded();
    const std::vector<RefusedCell> rejected = lookup.rebuild(
        {{"abc", "5"}, {"100", "10"}, {"200", ""}, {"", "30"}, {"1.5", "1,5,0"}, {"300", "1 5"}});
    EXPECT_EQ(rejected, (std::vector<RefusedCell>{{0, RefusedCell::Key},
                                                  {4, RefusedCell::Key},
                                                  {4, RefusedCell::Liters},
                                                  {5, RefusedCell::Liters}}));
    EXPECT_EQ(lookup.litersText(50), "5.000");
    EXPECT_EQ(lookup.litersText(150), std::nullopt); // above the last complete row
}

// What the display shows with a "," separator can be typed back as it stands.
TEST(LitersLookup, readsLitresWithEitherSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"12,5", "12.500"}, {"12.5", "12.500"},  {" -1,25 ", "-1.250"},
        {",5", "0.500"},    {"1,5e1", "15.000"}, {"+7", "7.000"},
    };
    for (const auto& [liters, text] : cases) {
        EXPECT_EQ(loaded({{"100", liters}}).litersText(100), text) << liters;
    }
    for (const char* liters : {"1,5,0", "1.5,0", "12 5", "-", "1e", "5 l"}) {
        LitersLookup lookup;
        lookup.setLoaded();
        EXPECT_EQ(lookup.rebuild({{"100", liters}}).size(), 1u) << liters;
    }
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
