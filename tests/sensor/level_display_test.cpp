#include "sensor/level_display.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

TEST(LevelDisplay, fullScaleAndFrequencySpanFollowTheSelectedItems) {
    EXPECT_EQ(fullScaleForRange(0), 4095u);
    EXPECT_EQ(fullScaleForRange(1), 1023u);
    EXPECT_EQ(fullScaleForRange(-1), 4095u);
    EXPECT_EQ(frequencySpanForRange(0), 1970u);
    EXPECT_EQ(frequencySpanForRange(1), 990u);
    EXPECT_EQ(frequencySpanForRange(-1), 1970u);
}

TEST(LevelDisplay, percentTexts) {
    const struct {
        std::uint32_t level;
        unsigned fullScale;
        const char* text;
    } cases[] = {
        {2048, 4095, "50.00 %"}, {0, 4095, " 0.00 %"},    {4095, 4095, "99.98 %"},
        {103, 4095, " 2.51 %"},  {128, 4095, " 3.13 %"},  {1023, 1023, "99.90 %"},
        {512, 1023, "50.00 %"},  {4096, 4095, "100.00 %"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(levelPercentText(c.level, c.fullScale), c.text) << c.level;
    }
}

TEST(LevelDisplay, barPositionIsTruncated) {
    EXPECT_EQ(levelBarPosition(4095, 4095), 4095);
    EXPECT_EQ(levelBarPosition(1023, 1023), 4092);
    EXPECT_EQ(levelBarPosition(1, 1023), 4);
    EXPECT_EQ(levelBarPosition(3, 4095, 100), 0);  // 0.07 truncated
    EXPECT_EQ(levelBarPosition(4095, 4095, 100), 99); // 99.98 truncated
}

TEST(LevelDisplay, frequencyTexts) {
    EXPECT_EQ(levelFrequencyText(4095, 4095, 1970), "1999.52");
    EXPECT_EQ(levelFrequencyText(0, 4095, 1970), "30.00");
    EXPECT_EQ(levelFrequencyText(2048, 4095, 990), "525.00");
    EXPECT_EQ(levelFrequencyText(1023, 1023, 990), "1019.03");
}

TEST(LevelDisplay, voltageTexts) {
    EXPECT_EQ(levelVoltageText(2048, 4095, 0.0, 20.0), "10.00");
    EXPECT_EQ(levelVoltageText(0, 4095, 2.5, 0.0), "2.50");
    EXPECT_EQ(levelVoltageText(2048, 4095, 2.5, 0.0), "1.25"); // reversed: falls as it rises
    EXPECT_EQ(levelVoltageText(4095, 4095, 0.0, 20.0), "20.00"); // 19.995117 rounds up
}

} // namespace
} // namespace vorkel
