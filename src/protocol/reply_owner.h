// The subsystems that own reply codes. The reply handler checks a reply, then hands it to the
// owner of its code, which does the work of its flow and says in which request state the
// exchange ends.
#pragma once

#include "protocol/frame.h"

#include <cstdint>

namespace vorkel {

// Request states: the flow that an outstanding request belongs to. They never travel on the
// wire; they only tell the reply handling which variant of a reply's handling applies.
namespace request_state {
inline constexpr std::uint8_t kPortNeverOpened = 0;
inline constexpr std::uint8_t kIdle = 1; // also a frame retransmitted after a time-out
inline constexpr std::uint8_t kLevelPoll = 2;
inline constexpr std::uint8_t kConfigurationWrite = 4; // also the read that follows state 11
inline constexpr std::uint8_t kConfigurationWriteStep1 = 5;
inline constexpr std::uint8_t kTest05 = 9;
inline constexpr std::uint8_t kFirmwareUpdate = 10;
inline constexpr std::uint8_t kConfigurationRead = 11;
inline constexpr std::uint8_t kVersionRead = 12;
inline constexpr std::uint8_t kCalibrationToFile = 13;
inline constexpr std::uint8_t kCalibrationFromFile = 14;
inline constexpr std::uint8_t kCalibration = 15;
inline constexpr std::uint8_t kCalibrationWrite = 16;
} // namespace request_state

class ReplyOwner {
public:
    virtual ~ReplyOwner() = default;
    // Handles a checked reply; `entryState` is the request state when the reply came in.
    // Returns the request state in which the exchange ends (request_state::kIdle unless a
    // follow-up request is now outstanding).
    virtual std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) = 0;
};

} // namespace vorkel
