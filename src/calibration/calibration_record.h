// The calibration record: the sensor's empty and full calibration points, 20 bits each, packed
// into the five data bytes of the write request (code 86), the read reply (code 87) and a
// backup file.
//
//   byte 0  high nibble: bits 19..16 of empty; low nibble: bits 19..16 of full
//   byte 1  empty, bits 15..8        byte 2  empty, bits 7..0
//   byte 3  full, bits 15..8         byte 4  full, bits 7..0
#pragma once

#include "protocol/frame.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorkel {

// The largest value a point can hold: the record has 20 bits for each.
inline constexpr std::uint32_t kMaxCalibrationPoint = 0xFFFFF; // 1048575

struct CalibrationRecord {
    std::uint32_t empty = 0;
    std::uint32_t full = 0;

    friend bool operator==(const CalibrationRecord&, const CalibrationRecord&) = default;
};

CalibrationRecord decodeCalibrationRecord(const FrameData& record);

// Packs both points. Callers pass points within 0..kMaxCalibrationPoint (parseCalibrationPoint
// guarantees it); bits above bit 19 would not fit and are not sent.
FrameData encodeCalibrationRecord(const CalibrationRecord& points);

// A point as typed into a calibration edit: the strict integer reading of the text, accepted
// only within 0..kMaxCalibrationPoint, because a value the record cannot hold would reach the
// sensor as a different point. The same reading serves the check, the comparison of the two
// points, the record and the text written back into the edit.
std::optional<std::uint32_t> parseCalibrationPoint(std::string_view text);

} // namespace vorkel
