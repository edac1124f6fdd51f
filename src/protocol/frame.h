// Request and reply frames: eight bytes each, closed by an end-around-carry checksum.
//
//   byte 0     start: '1' (0x31) for requests and boot-loader replies, '>' (0x3E) for replies
//   byte 1     command code
//   bytes 2..6 five data (payload) bytes, laid out by the command's owner
//   byte 7     frameChecksum of bytes 1..6
#pragma once

#include "protocol/command.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorkel {

inline constexpr std::size_t kFrameSize = 8;
inline constexpr std::size_t kFrameDataSize = 5;

using Frame = std::array<std::uint8_t, kFrameSize>;
using FrameData = std::array<std::uint8_t, kFrameDataSize>;

// Byte positions inside a frame.
namespace frame_offset {
inline constexpr std::size_t kStart = 0;
inline constexpr std::size_t kCode = 1;
inline constexpr std::size_t kData = 2;
inline constexpr std::size_t kChecksum = 7;
} // namespace frame_offset

inline constexpr std::uint8_t kRequestStart = 0x31;    // '1'
inline constexpr std::uint8_t kReplyStart = 0x3E;      // '>'
inline constexpr std::uint8_t kBootloaderStart = 0x31; // '1': a boot loader waiting for firmware

// 8-bit sum with end-around carry of bytes 1..6; neither the start byte nor byte 7 enters it.
std::uint8_t frameChecksum(std::span<const std::uint8_t, kFrameSize> frame);

// The request frame for a command: start byte, code, the first five bytes of `data` (missing
// ones are zero, further ones ignored) and the checksum.
Frame buildRequest(CommandCode code, std::span<const std::uint8_t> data);

// The five data (payload) bytes of a frame.
FrameData frameData(std::span<const std::uint8_t, kFrameSize> frame);

// Two's complement <-> sign-magnitude (bit 7 sign, bits 6..0 magnitude). Its own inverse.
std::uint8_t signMagnitude(std::uint8_t value);

} // namespace vorkel
