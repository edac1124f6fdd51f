// The sensor's five-byte configuration record (data of the write, payload of the read reply)
// and the rules of the controls that show it: the mode bits, the analog range indices and the
// output voltages they stand for, the multiplier byte, the averaging items and the address.
// Pure functions; the configuration flow moves their results into the window.
#pragma once

#include "protocol/frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// Positions in the record (FrameData).
namespace record_offset {
inline constexpr std::size_t kMode = 0;
inline constexpr std::size_t kAnalogRange = 1;
inline constexpr std::size_t kAddress = 2;
inline constexpr std::size_t kMultiplier = 3; // sign-magnitude
inline constexpr std::size_t kAveraging = 4;  // seconds, 0 = off
} // namespace record_offset

// The mode byte. Bit 1 set means analog output (the sense is inverted against the item order
// of the output mode control). Bits 6 and 7 carry nothing: dropped when read, 0 when written.
struct ModeFields {
    bool withResistor = false; // bit 0: frequency output "with resistor"
    bool analog = false;       // bit 1: analog output, else frequency output
    bool range1020 = false;    // bit 2: frequency range "30-1020 Hz", else "30-2000 Hz"
    bool autoPush = false;     // bit 3: automatic data push
    bool range1023 = false;    // bit 4: RS-485 range 0..1023, else 0..4095
    bool bitrate9600 = false;  // bit 5: sensor bit rate 9600, else 19200
};
ModeFields decodeMode(std::uint8_t mode);
std::uint8_t encodeMode(const ModeFields& fields);

// The analog range byte: lower index in bits 3..0, upper index in bits 7..4, each 0..15.
struct AnalogRange {
    int lower = 0;
    int upper = 15;
};
AnalogRange decodeAnalogRange(std::uint8_t range);
// Each index contributes its low four bits.
std::uint8_t encodeAnalogRange(const AnalogRange& range);

// The output voltages at level 0 and at full scale, in steps of 1.25 V: indices (a, b) give
// a x 1.25 .. (b + 1) x 1.25 when b >= a, and (a + 1) x 1.25 .. b x 1.25 (reversed: the output
// falls as the level rises) when b < a.
struct RangeVoltages {
    double lower = 0.0;
    double upper = 20.0;
    bool reversed = false;
};
RangeVoltages rangeVoltages(int lowerIndex, int upperIndex);
// The range caption from the translated pieces rsFrom, rsReverseFrom, rsVTo and rsV:
// " from 0.00V to 20.00V", " [ REVERSE] from2.50V to 0.00V".
std::string rangeCaption(const RangeVoltages& voltages, std::string_view from,
                         std::string_view reverseFrom, std::string_view vTo, std::string_view v);

// Multiplier byte (sign-magnitude) <-> up-down position -127..127. 0x80, a negative zero,
// is position 0 (read as two's complement it would be -128, out of the up-down's range).
int multiplierPosition(std::uint8_t byte);
// Positions beyond -127..127 are limited to the nearest end.
std::uint8_t multiplierByte(int position);

// Averaging: the items of the averaging control are "off", "2 s" .. "32 s", "64 s", "128 s"
// (translated); an item's value is its leading number read leniently ("off" is 0).
inline constexpr int kAveragingItemCount = 34;
// The item whose value is `seconds`; nothing when no item has it.
std::optional<int> averagingItemIndex(const std::vector<std::string>& items, std::uint8_t seconds);
// The text of an extra item for a value that no item has, so that reading a configuration
// and writing it back keeps the value: the number followed by the unit of the last item
// ("40 s", or "40 с" with Russian items).
std::string averagingItemText(const std::vector<std::string>& items, std::uint8_t seconds);

// The address edit keeps digits only; the caret stays where it was unless the text became
// shorter than that. The caret counts characters (the kept text is ASCII).
struct AddressEdit {
    std::string text;
    int caret = 0;
};
AddressEdit filterAddressText(std::string_view text, int caret);
// The address as the record takes it: the leading digits, read with saturation; text without
// digits is 0. Nothing when above 255 (or negative): cut to 8 bits it would silently give the
// sensor another address than the one typed.
std::optional<std::uint8_t> addressFromText(std::string_view text);
bool addressFitsRecord(std::string_view text);
// "Введено: 300\r\n Enter a number from 0 to 255!" from the translated rsValidNumberFrom and
// rsValidNumberTo.
std::string addressRefusalText(std::string_view text, std::string_view validFrom,
                               std::string_view validTo);

// Decoded record <-> bytes. The decoder accepts any five bytes.
struct ConfigurationRecord {
    ModeFields mode;
    AnalogRange range;
    std::uint8_t address = 0;
    int multiplierPosition = 0;
    std::uint8_t averagingSeconds = 0;
};
ConfigurationRecord decodeConfigurationRecord(const FrameData& record);
FrameData encodeConfigurationRecord(const ConfigurationRecord& record);

} // namespace vorkel
