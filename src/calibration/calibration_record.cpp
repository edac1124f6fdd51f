#include "calibration/calibration_record.h"

#include "sensor/number_reading.h"

namespace vorkel {
namespace {

// Positions inside the record.
constexpr std::size_t kTopNibbles = 0;
constexpr std::size_t kEmptyHigh = 1;
constexpr std::size_t kEmptyLow = 2;
constexpr std::size_t kFullHigh = 3;
constexpr std::size_t kFullLow = 4;

constexpr unsigned kTopShift = 16; // the nibble holds bits 19..16
constexpr unsigned kByteShift = 8;
constexpr unsigned kNibbleShift = 4;
constexpr std::uint32_t kNibble = 0x0F;
constexpr std::uint32_t kByte = 0xFF;

std::uint8_t byteOf(std::uint32_t value, unsigned shift) {
    return static_cast<std::uint8_t>((value >> shift) & kByte);
}

} // namespace

CalibrationRecord decodeCalibrationRecord(const FrameData& record) {
    const std::uint32_t top = record[kTopNibbles];
    CalibrationRecord points;
    points.empty = (top >> kNibbleShift) << kTopShift |
                   std::uint32_t{record[kEmptyHigh]} << kByteShift | record[kEmptyLow];
    points.full = (top & kNibble) << kTopShift | std::uint32_t{record[kFullHigh]} << kByteShift |
                  record[kFullLow];
    return points;
}

FrameData encodeCalibrationRecord(const CalibrationRecord& points) {
    FrameData record{};
    record[kTopNibbles] =
        static_cast<std::uint8_t>(((points.empty >> kTopShift) & kNibble) << kNibbleShift |
                                  ((points.full >> kTopShift) & kNibble));
    record[kEmptyHigh] = byteOf(points.empty, kByteShift);
    record[kEmptyLow] = byteOf(points.empty, 0);
    record[kFullHigh] = byteOf(points.full, kByteShift);
    record[kFullLow] = byteOf(points.full, 0);
    return record;
}

std::optional<std::uint32_t> parseCalibrationPoint(std::string_view text) {
    const std::optional<std::int32_t> value = parseStrictInteger(text);
    if (!value || *value < 0 || static_cast<std::uint32_t>(*value) > kMaxCalibrationPoint) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*value);
}

} // namespace vorkel
