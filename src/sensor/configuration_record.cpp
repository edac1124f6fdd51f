#include "sensor/configuration_record.h"

#include "sensor/multiplier.h"
#include "sensor/number_reading.h"
#include "sensor/number_text.h"

#include <algorithm>

namespace vorkel {
namespace {

constexpr std::uint8_t kWithResistorBit = 0x01;
constexpr std::uint8_t kAnalogBit = 0x02;
constexpr std::uint8_t kRange1020Bit = 0x04;
constexpr std::uint8_t kAutoPushBit = 0x08;
constexpr std::uint8_t kRange1023Bit = 0x10;
constexpr std::uint8_t kBitrate9600Bit = 0x20;

constexpr double kRangeStepVolts = 1.25;
constexpr int kMaxAddress = 255;
constexpr std::string_view kDefaultAveragingUnit = " s";

} // namespace

ModeFields decodeMode(std::uint8_t mode) {
    ModeFields fields;
    fields.withResistor = (mode & kWithResistorBit) != 0;
    fields.analog = (mode & kAnalogBit) != 0;
    fields.range1020 = (mode & kRange1020Bit) != 0;
    fields.autoPush = (mode & kAutoPushBit) != 0;
    fields.range1023 = (mode & kRange1023Bit) != 0;
    fields.bitrate9600 = (mode & kBitrate9600Bit) != 0;
    return fields;
}

std::uint8_t encodeMode(const ModeFields& fields) {
    std::uint8_t mode = 0;
    mode |= fields.withResistor ? kWithResistorBit : 0;
    mode |= fields.analog ? kAnalogBit : 0;
    mode |= fields.range1020 ? kRange1020Bit : 0;
    mode |= fields.autoPush ? kAutoPushBit : 0;
    mode |= fields.range1023 ? kRange1023Bit : 0;
    mode |= fields.bitrate9600 ? kBitrate9600Bit : 0;
    return mode;
}

AnalogRange decodeAnalogRange(std::uint8_t range) {
    return AnalogRange{range & 0x0F, range >> 4};
}

std::uint8_t encodeAnalogRange(const AnalogRange& range) {
    return static_cast<std::uint8_t>((range.lower & 0x0F) | ((range.upper & 0x0F) << 4));
}

RangeVoltages rangeVoltages(int lowerIndex, int upperIndex) {
    RangeVoltages voltages;
    voltages.reversed = upperIndex < lowerIndex;
    if (voltages.reversed) {
        voltages.lower = (lowerIndex + 1) * kRangeStepVolts;
        voltages.upper = upperIndex * kRangeStepVolts;
    } else {
        voltages.lower = lowerIndex * kRangeStepVolts;
        voltages.upper = (upperIndex + 1) * kRangeStepVolts;
    }
    return voltages;
}

std::string rangeCaption(const RangeVoltages& voltages, std::string_view from,
                         std::string_view reverseFrom, std::string_view vTo, std::string_view v) {
    std::string caption(voltages.reversed ? reverseFrom : from);
    caption += formatTwoDecimals(voltages.lower);
    caption += vTo;
    caption += formatTwoDecimals(voltages.upper);
    caption += v;
    return caption;
}

int multiplierPosition(std::uint8_t byte) {
    if (byte == 0x80) {
        return 0;
    }
    return static_cast<std::int8_t>(signMagnitude(byte));
}

std::uint8_t multiplierByte(int position) {
    const int limited = std::clamp(position, kMultiplierMinPosition, kMultiplierMaxPosition);
    return signMagnitude(static_cast<std::uint8_t>(static_cast<std::int8_t>(limited)));
}

std::optional<int> averagingItemIndex(const std::vector<std::string>& items,
                                      std::uint8_t seconds) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (parseLenientInteger(items[i]) == seconds) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::string averagingItemText(const std::vector<std::string>& items, std::uint8_t seconds) {
    std::string_view unit = kDefaultAveragingUnit;
    if (!items.empty()) {
        const std::string_view last = items.back();
        const std::size_t digitsEnd = last.find_first_not_of("0123456789");
        if (digitsEnd != 0 && digitsEnd != std::string_view::npos) {
            unit = last.substr(digitsEnd);
        }
    }
    return std::to_string(seconds) + std::string(unit);
}

AddressEdit filterAddressText(std::string_view text, int caret) {
    AddressEdit result;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            result.text += c;
        }
    }
    result.caret = std::min(caret, static_cast<int>(result.text.size()));
    return result;
}

std::optional<std::uint8_t> addressFromText(std::string_view text) {
    const std::int64_t value = parseLenientInteger(text);
    if (value < 0 || value > kMaxAddress) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

bool addressFitsRecord(std::string_view text) {
    return addressFromText(text).has_value();
}

std::string addressRefusalText(std::string_view text, std::string_view validFrom,
                               std::string_view validTo) {
    std::string message(kNumberEnteredText);
    message += text;
    message += "\r\n";
    message += validFrom;
    message += "0";
    message += validTo;
    message += std::to_string(kMaxAddress);
    message += "!";
    return message;
}

ConfigurationRecord decodeConfigurationRecord(const FrameData& record) {
    ConfigurationRecord decoded;
    decoded.mode = decodeMode(record[record_offset::kMode]);
    decoded.range = decodeAnalogRange(record[record_offset::kAnalogRange]);
    decoded.address = record[record_offset::kAddress];
    decoded.multiplierPosition = multiplierPosition(record[record_offset::kMultiplier]);
    decoded.averagingSeconds = record[record_offset::kAveraging];
    return decoded;
}

FrameData encodeConfigurationRecord(const ConfigurationRecord& record) {
    FrameData bytes{};
    bytes[record_offset::kMode] = encodeMode(record.mode);
    bytes[record_offset::kAnalogRange] = encodeAnalogRange(record.range);
    bytes[record_offset::kAddress] = record.address;
    bytes[record_offset::kMultiplier] = multiplierByte(record.multiplierPosition);
    bytes[record_offset::kAveraging] = record.averagingSeconds;
    return bytes;
}

} // namespace vorkel
