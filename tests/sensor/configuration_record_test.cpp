#include "sensor/configuration_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorkel {
namespace {

// The averaging control's items as the English table has them.
std::vector<std::string> englishAveragingItems() {
    std::vector<std::string> items{"off"};
    for (int seconds = 2; seconds <= 32; ++seconds) {
        items.push_back(std::to_string(seconds) + " s");
    }
    items.push_back("64 s");
    items.push_back("128 s");
    return items;
}

TEST(ModeByte, setBitsShowTheirItems) {
    const ModeFields analog = decodeMode(0x02);
    EXPECT_TRUE(analog.analog);
    EXPECT_FALSE(analog.withResistor || analog.range1020 || analog.autoPush ||
                 analog.range1023 || analog.bitrate9600);

    const ModeFields frequency = decodeMode(0x3D);
    EXPECT_FALSE(frequency.analog);
    EXPECT_TRUE(frequency.withResistor && frequency.range1020 && frequency.autoPush &&
                frequency.range1023 && frequency.bitrate9600);
}

TEST(ModeByte, roundTripsItsSixBitsAndDropsTheTopTwo) {
    const struct {
        std::uint8_t received;
        std::uint8_t written;
    } cases[] = {{0x02, 0x02}, {0x3D, 0x3D}, {0x00, 0x00}, {0x3F, 0x3F},
                 {0xC2, 0x02}, {0xFF, 0x3F}, {0x40, 0x00}, {0x01, 0x01}};
    for (const auto& c : cases) {
        EXPECT_EQ(encodeMode(decodeMode(c.received)), c.written) << int{c.received};
    }
    // Each field owns exactly one bit.
    ModeFields one;
    one.bitrate9600 = true;
    EXPECT_EQ(encodeMode(one), 0x20);
    one = {};
    one.withResistor = true;
    EXPECT_EQ(encodeMode(one), 0x01);
}

TEST(AnalogRange, lowerIndexInTheLowNibble) {
    const AnalogRange full = decodeAnalogRange(0xF0);
    EXPECT_EQ(full.lower, 0);
    EXPECT_EQ(full.upper, 15);
    const AnalogRange reversed = decodeAnalogRange(0x01);
    EXPECT_EQ(reversed.lower, 1);
    EXPECT_EQ(reversed.upper, 0);
    EXPECT_EQ(encodeAnalogRange({0, 15}), 0xF0);
    EXPECT_EQ(encodeAnalogRange({1, 0}), 0x01);
    EXPECT_EQ(encodeAnalogRange({0x13, 0x2F}), 0xF3); // only the low four bits of each
}

TEST(AnalogRange, captionAndVoltages) {
    const struct {
        int lower;
        int upper;
        double lowerVolts;
        double upperVolts;
        const char* caption;
    } cases[] = {
        {0, 15, 0.0, 20.0, " from 0.00V to 20.00V"},
        {1, 0, 2.5, 0.0, " [ REVERSE] from2.50V to 0.00V"},
        {3, 3, 3.75, 5.0, " from 3.75V to 5.00V"},
        {15, 14, 20.0, 17.5, " [ REVERSE] from20.00V to 17.50V"},
    };
    for (const auto& c : cases) {
        const RangeVoltages voltages = rangeVoltages(c.lower, c.upper);
        EXPECT_EQ(voltages.lower, c.lowerVolts);
        EXPECT_EQ(voltages.upper, c.upperVolts);
        EXPECT_EQ(rangeCaption(voltages, " from ", " [ REVERSE] from", "V to ", "V"), c.caption);
    }
}

TEST(MultiplierByte, signMagnitudeWithNegativeZeroAsZero) {
    const struct {
        std::uint8_t byte;
        int position;
    } cases[] = {{0x85, -5}, {0x05, 5}, {0x00, 0}, {0x7F, 127}, {0xFF, -127}, {0x80, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(multiplierPosition(c.byte), c.position) << int{c.byte};
    }
    EXPECT_EQ(multiplierByte(-5), 0x85);
    EXPECT_EQ(multiplierByte(127), 0x7F);
    EXPECT_EQ(multiplierByte(-127), 0xFF);
    EXPECT_EQ(multiplierByte(0), 0x00);
    EXPECT_EQ(multiplierByte(-128), 0xFF); // limited, never the negative zero
    EXPECT_EQ(multiplierByte(500), 0x7F);
}

TEST(Averaging, matchesTheItemWithTheValue) {
    const std::vector<std::string> items = englishAveragingItems();
    ASSERT_EQ(items.size(), static_cast<std::size_t>(kAveragingItemCount));
    const struct {
        std::uint8_t seconds;
        std::optional<int> index;
    } cases[] = {{0, 0}, {2, 1}, {9, 8}, {32, 31}, {64, 32}, {128, 33},
                 {1, std::nullopt}, {40, std::nullopt}, {255, std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(averagingItemIndex(items, c.seconds), c.index) << int{c.seconds};
    }
}

TEST(Averaging, anUnmatchedValueGetsAnItemThatReadsBackAsItself) {
    std::vector<std::string> items = englishAveragingItems();
    EXPECT_EQ(averagingItemText(items, 40), "40 s");
    items.push_back(averagingItemText(items, 40));
    EXPECT_EQ(averagingItemIndex(items, 40), kAveragingItemCount);
    const std::vector<std::string> russian{"выкл.", "2 с", "128 с"};
    EXPECT_EQ(averagingItemText(russian, 1), "1 с");
    EXPECT_EQ(averagingItemText({}, 7), "7 s");
}

TEST(AddressEdit, keepsDigitsAndTheCaretWithinTheText) {
    const struct {
        const char* text;
        int caret;
        const char* filtered;
        int filteredCaret;
    } cases[] = {
        {"1a2", 2, "12", 2},
        {"1a2", 3, "12", 2},
        {"12", 1, "12", 1},
        {"-5", 2, "5", 1},
        {"abc", 3, "", 0},
        {"2 5 5", 0, "255", 0},
        {"１2", 2, "2", 1}, // a full-width digit is not one of 0..9
    };
    for (const auto& c : cases) {
        const AddressEdit result = filterAddressText(c.text, c.caret);
        EXPECT_EQ(result.text, c.filtered) << c.text;
        EXPECT_EQ(result.caret, c.filteredCaret) << c.text;
    }
}

TEST(Address, refusesWhatTheRecordCannotHold) {
    const struct {
        const char* text;
        std::optional<std::uint8_t> address;
    } cases[] = {{"0", 0},   {"255", 255},          {"", 0},
                 {"007", 7}, {"256", std::nullopt}, {"300", std::nullopt},
                 {"99999999999999999999999", std::nullopt}, {"-1", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(addressFromText(c.text), c.address) << c.text;
        EXPECT_EQ(addressFitsRecord(c.text), c.address.has_value()) << c.text;
    }
    EXPECT_EQ(addressRefusalText("300", " Enter a number from ", " to "),
              "Введено: 300\r\n Enter a number from 0 to 255!");
}

TEST(ConfigurationRecord, readThenWriteKeepsTheBytes) {
    const struct {
        FrameData received;
        FrameData written;
    } cases[] = {
        {{0x02, 0xF0, 1, 0x00, 9}, {0x02, 0xF0, 1, 0x00, 9}},
        {{0x3D, 0x01, 255, 0x85, 40}, {0x3D, 0x01, 255, 0x85, 40}},
        {{0xFF, 0x5A, 0, 0x80, 128}, {0x3F, 0x5A, 0, 0x00, 128}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeConfigurationRecord(decodeConfigurationRecord(c.received)), c.written);
    }
    const ConfigurationRecord decoded = decodeConfigurationRecord({0x3D, 0x01, 17, 0x85, 40});
    EXPECT_EQ(decoded.address, 17);
    EXPECT_EQ(decoded.multiplierPosition, -5);
    EXPECT_EQ(decoded.averagingSeconds, 40);
    EXPECT_EQ(decoded.range.lower, 1);
}

} // namespace
} // namespace vorkel
