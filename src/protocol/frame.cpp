#include "protocol/frame.h"

#include <algorithm>

namespace vorkel {

std::uint8_t frameChecksum(std::span<const std::uint8_t, kFrameSize> frame) {
    unsigned sum = 0;
    for (std::size_t i = frame_offset::kCode; i < frame_offset::kChecksum; ++i) {
        sum += frame[i];
        if (sum > 0xFF) {
            sum = (sum & 0xFF) + (sum >> 8);
        }
    }
    return static_cast<std::uint8_t>(sum);
}

Frame buildRequest(CommandCode code, std::span<const std::uint8_t> data) {
    Frame frame{};
    frame[frame_offset::kStart] = kRequestStart;
    frame[frame_offset::kCode] = toByte(code);
    const std::size_t n = std::min(data.size(), kFrameDataSize);
    std::copy_n(data.begin(), n, frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return frame;
}

FrameData frameData(std::span<const std::uint8_t, kFrameSize> frame) {
    FrameData data{};
    std::copy_n(frame.begin() + frame_offset::kData, kFrameDataSize, data.begin());
    return data;
}

std::uint8_t signMagnitude(std::uint8_t value) {
    if ((value & 0x80) == 0) {
        return value;
    }
    // -128 has no sign-magnitude form; its magnitude 128 leaves only the sign bit, so 0x80
    // maps to itself, which keeps the function its own inverse.
    const int signedValue = static_cast<std::int8_t>(value);
    return static_cast<std::uint8_t>((-signedValue) | 0x80);
}

} // namespace vorkel
