#include "sensor/readings.h"

namespace vorkel {
namespace {

// Payload bytes by their position in the frame.
constexpr std::size_t kB2 = 2, kB3 = 3, kB4 = 4, kB5 = 5, kB6 = 6;
constexpr unsigned kFirstVersionWithRs485Options = 21;

std::string dotted(unsigned first, unsigned second) {
    std::string text = std::to_string(first);
    text += '.';
    text += std::to_string(second);
    return text;
}

} // namespace

LevelReply decodeLevelReply(const Frame& reply) {
    LevelReply decoded;
    decoded.level = static_cast<std::uint32_t>((reply[kB3] & 0x0F) << 8) | reply[kB2];
    decoded.counter = static_cast<std::uint32_t>((reply[kB3] & 0xF0) << 12) |
                      static_cast<std::uint32_t>(reply[kB5] << 8) | reply[kB6];
    decoded.temperature = static_cast<std::int8_t>(reply[kB4]);
    return decoded;
}

VersionReply decodeVersionReply(const Frame& reply) {
    return VersionReply{reply[kB3], reply[kB2], reply[kB5], reply[kB4], reply[kB6]};
}

VersionDisplay versionDisplay(unsigned first, unsigned second, unsigned bootFirst,
                              unsigned bootSecond) {
    VersionDisplay display;
    if (first != 0 || second != 0) {
        display.program = dotted(first, second);
        display.bootloader = dotted(bootFirst, bootSecond);
    } else {
        display.program = "?";
        display.bootloader = "?";
    }
    display.rs485OptionsEnabled = second >= kFirstVersionWithRs485Options;
    return display;
}

std::uint8_t LiveReadings::handleReply(const Frame& reply, std::uint8_t entryState) {
    engine_.view().enableCommandControls(true);
    if (reply[frame_offset::kCode] == toByte(CommandCode::ReadVersion)) {
        showVersion(reply, entryState);
    } else {
        view_.showRawLevel(decodeLevelReply(reply).level);
    }
    return request_state::kIdle;
}

void LiveReadings::showVersion(const Frame& reply, std::uint8_t entryState) {
    const VersionReply version = decodeVersionReply(reply);
    view_.showVersion(versionDisplay(version.programFirst, version.programSecond,
                                     version.bootloaderFirst, version.bootloaderSecond));
    view_.showMeasuringModule(std::to_string(version.measuringModule));
    if (entryState == request_state::kConfigurationRead) {
        engine_.SendCommand(CommandCode::ReadConfiguration, FrameData{},
                            request_state::kConfigurationWrite);
    }
}

} // namespace vorkel
