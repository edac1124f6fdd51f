#include "protocol/frame.h"

#include <gtest/gtest.h>
#include <vector>

namespace vorkel {
namespace {

Frame frameWithBody(std::uint8_t start, std::array<std::uint8_t, 6> body) {
    Frame frame{};
    frame[0] = start;
    std::copy(body.begin(), body.end(), frame.begin() + 1);
    return frame;
}

TEST(RequestFrame, knownRequestsHaveTheirWireBytes) {
    EXPECT_EQ(buildRequest(CommandCode::ReadLevel, FrameData{4, 0, 0, 0, 0}),
              (Frame{0x31, 0x05, 0x04, 0, 0, 0, 0, 0x09}));
    EXPECT_EQ(buildRequest(CommandCode::ReadVersion, FrameData{}),
              (Frame{0x31, 0x59, 0, 0, 0, 0, 0, 0x59}));
    EXPECT_EQ(buildRequest(CommandCode::ReadConfiguration, FrameData{}),
              (Frame{0x31, 0x02, 0, 0, 0, 0, 0, 0x02}));
    EXPECT_EQ(buildRequest(CommandCode::ReadLevel, FrameData{1, 0, 0, 0, 0}),
              (Frame{0x31, 0x05, 0x01, 0, 0, 0, 0, 0x06}));
}

TEST(RequestFrame, takesExactlyFiveDataBytes) {
    const std::vector<std::uint8_t> six{1, 2, 3, 4, 5, 6};
    const std::vector<std::uint8_t> five{1, 2, 3, 4, 5};
    EXPECT_EQ(buildRequest(CommandCode::WriteCalibration, six),
              buildRequest(CommandCode::WriteCalibration, five));
    // Fewer bytes than five still make a whole frame, padded with zeros.
    const std::vector<std::uint8_t> two{7, 8};
    EXPECT_EQ(buildRequest(CommandCode::WriteConfiguration, two),
              buildRequest(CommandCode::WriteConfiguration, FrameData{7, 8, 0, 0, 0}));
}

TEST(FrameChecksum, wrapsTheCarryAroundTheByte) {
    EXPECT_EQ(frameChecksum(frameWithBody(0x31, {0x58, 0xFF, 0xFF, 0, 0, 0})), 0x58);
    EXPECT_EQ(frameChecksum(frameWithBody(0x31, {0x56, 0x12, 0x34, 0x56, 0x78, 0x9A})), 0x06);
    EXPECT_EQ(frameChecksum(frameWithBody(0x31, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})), 0xFF);
    EXPECT_EQ(frameChecksum(frameWithBody(0x3E, {0x05, 0x34, 0x12, 0x00, 0x56, 0x78})), 0x1A);
    EXPECT_EQ(frameChecksum(Frame{}), 0);
}

TEST(FrameChecksum, ignoresTheStartByteAndTheChecksumByte) {
    Frame reply = frameWithBody(0x3E, {0x05, 0x10, 0x20, 0x30, 0x40, 0x50});
    Frame bootloader = reply;
    bootloader[0] = 0x31;
    EXPECT_EQ(frameChecksum(reply), frameChecksum(bootloader));
    reply[7] = 0xAA;
    EXPECT_EQ(frameChecksum(reply), frameChecksum(bootloader));
}

TEST(FrameChecksum, isZeroOnlyForAnAllZeroBody) {
    // The end-around carry never folds a non-zero sum back to zero.
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; b += 5) {
            const Frame frame =
                frameWithBody(0x31, {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                     0xFF, 0x80, 1, 0});
            ASSERT_NE(frameChecksum(frame), 0) << a << ' ' << b;
        }
    }
}

TEST(FrameData, isBytesTwoToSix) {
    const Frame frame{0x3E, 0x57, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x00};
    EXPECT_EQ(frameData(frame), (FrameData{0x12, 0x34, 0x56, 0x78, 0x9A}));
}

TEST(SignMagnitude, convertsTheMultiplierByteBothWays) {
    EXPECT_EQ(signMagnitude(0xFF), 0x81); // -1
    EXPECT_EQ(signMagnitude(0xFB), 0x85); // -5
    EXPECT_EQ(signMagnitude(0x85), 0xFB);
    EXPECT_EQ(signMagnitude(0x81), 0xFF); // -127 <-> 0x81 ... and back
    EXPECT_EQ(signMagnitude(0x80), 0x80);
    for (unsigned v = 0; v < 0x80; ++v) {
        EXPECT_EQ(signMagnitude(static_cast<std::uint8_t>(v)), v);
    }
    for (unsigned v = 0; v < 0x100; ++v) {
        const auto byte = static_cast<std::uint8_t>(v);
        EXPECT_EQ(signMagnitude(signMagnitude(byte)), byte) << v;
    }
}

TEST(CommandCode, knowsExactlyTheCodesOfTheCommandTable) {
    std::vector<int> known;
    for (int code = 0; code < 256; ++code) {
        if (isKnownCommandCode(static_cast<std::uint8_t>(code))) {
            known.push_back(code);
        }
    }
    EXPECT_EQ(known, (std::vector<int>{1, 2, 3, 4, 5, 86, 87, 88, 89}));
}

} // namespace
} // namespace vorkel
