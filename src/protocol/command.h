// Command codes of the sensor protocol: the one place where the numbers live.
// A request carries one of these in byte 1; the sensor's reply repeats it.
#pragma once

#include <cstdint>

namespace vorkel {

enum class CommandCode : std::uint8_t {
    WriteConfiguration = 1,
    ReadConfiguration = 2,
    CalibrateEmpty = 3,
    CalibrateFull = 4,
    ReadLevel = 5, // also switches on "Test 05" with other data
    WriteCalibration = 0x56,
    ReadCalibration = 0x57,
    FirmwareBlock = 0x58,
    ReadVersion = 0x59,
};

// True for the codes a reply may carry; any other reply code is rejected.
constexpr bool isKnownCommandCode(std::uint8_t code) {
    switch (static_cast<CommandCode>(code)) {
    case CommandCode::WriteConfiguration:
    case CommandCode::ReadConfiguration:
    case CommandCode::CalibrateEmpty:
    case CommandCode::CalibrateFull:
    case CommandCode::ReadLevel:
    case CommandCode::WriteCalibration:
    case CommandCode::ReadCalibration:
    case CommandCode::FirmwareBlock:
    case CommandCode::ReadVersion:
        return true;
    }
    return false;
}

constexpr std::uint8_t toByte(CommandCode code) {
    return static_cast<std::uint8_t>(code);
}

} // namespace vorkel
