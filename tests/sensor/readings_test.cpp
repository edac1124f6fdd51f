#include "sensor/readings.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

Frame replyWith(std::uint8_t code, FrameData payload) {
    Frame frame{kReplyStart, code};
    std::copy(payload.begin(), payload.end(), frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return frame;
}

TEST(LevelReply, unpacksLevelCounterAndTemperature) {
    // Level 0xABC; counter 0x5_1234 (its top nibble shares byte 3 with the level's).
    const LevelReply decoded = decodeLevelReply(replyWith(0x05, {0xBC, 0x5A, 0xF6, 0x12, 0x34}));
    EXPECT_EQ(decoded.level, 0xABCu);
    EXPECT_EQ(decoded.counter, 0x51234u);
    EXPECT_EQ(decoded.temperature, -10);

    const LevelReply extremes = decodeLevelReply(replyWith(0x05, {0xFF, 0xFF, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(extremes.level, 4095u);
    EXPECT_EQ(extremes.counter, 0xFFFFFu);
    EXPECT_EQ(extremes.temperature, 127);
    EXPECT_EQ(decodeLevelReply(replyWith(0x05, {0, 0, 0x80, 0, 0})).temperature, -128);
}

TEST(VersionReply, takesTheBytesInTheirOrder) {
    const VersionReply version = decodeVersionReply(replyWith(0x59, {21, 1, 4, 2, 7}));
    const VersionDisplay display =
        versionDisplay(version.programFirst, version.programSecond, version.bootloaderFirst,
                       version.bootloaderSecond);
    EXPECT_EQ(display.program, "1.21");
    EXPECT_EQ(display.bootloader, "2.4");
    EXPECT_EQ(version.measuringModule, 7);
}

TEST(VersionDisplay, showsQuestionMarksForAZeroVersion) {
    const VersionDisplay zero = versionDisplay(0, 0, 1, 3);
    EXPECT_EQ(zero.program, "?");
    EXPECT_EQ(zero.bootloader, "?");
    EXPECT_FALSE(zero.rs485OptionsEnabled);
    EXPECT_EQ(versionDisplay(2, 0, 1, 3).program, "2.0"); // only both zero is "no version"
}

TEST(VersionDisplay, enablesTheRs485OptionsFromVersion21) {
    EXPECT_FALSE(versionDisplay(1, 20, 1, 3).rs485OptionsEnabled);
    EXPECT_TRUE(versionDisplay(1, 21, 1, 3).rs485OptionsEnabled);
    EXPECT_TRUE(versionDisplay(1, 255, 1, 3).rs485OptionsEnabled);
}

} // namespace
} // namespace vorkel
