// The calibration record and the calibration edits' reading on arbitrary bytes.
//
// Input: the five record bytes (a reply's payload or a backup file), then a point's text.
//
// Besides memory and undefined-behaviour errors: every record decodes to points within 20 bits
// and encodes back to the same bytes; a text is accepted as a point exactly when its strict
// integer reading lies within 0..1048575, and then as that value.
#include "calibration/calibration_record.h"
#include "fuzz/fuzz_input.h"
#include "sensor/number_reading.h"

#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    vorkel::test::FuzzInput input(data, size);
    FrameData bytes{};
    for (std::uint8_t& byte : bytes) {
        byte = input.byte();
    }
    const CalibrationRecord points = decodeCalibrationRecord(bytes);
    FUZZ_CHECK(points.empty <= kMaxCalibrationPoint && points.full <= kMaxCalibrationPoint);
    FUZZ_CHECK(encodeCalibrationRecord(points) == bytes);

    const std::span<const std::uint8_t> rest = input.rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    const std::optional<std::uint32_t> point = parseCalibrationPoint(text);
    const std::optional<std::int32_t> strict = parseStrictInteger(text);
    const bool inRange = strict && *strict >= 0 && *strict <= std::int32_t{kMaxCalibrationPoint};
    FUZZ_CHECK(point.has_value() == inRange);
    if (point) {
        FUZZ_CHECK(static_cast<std::int32_t>(*point) == *strict);
        // The text written back into the edit reads as the same point.
        FUZZ_CHECK(parseCalibrationPoint(std::to_string(*point)) == point);
        const CalibrationRecord written{*point, points.full};
        FUZZ_CHECK(decodeCalibrationRecord(encodeCalibrationRecord(written)) == written);
    }
    return 0;
}
