// Live readings: the level reply and the version reply, decoded from their frames, and what the
// version display shows.
#pragma once

#include "protocol/exchange_engine.h"
#include "protocol/frame.h"

#include <cstdint>
#include <string>

namespace vorkel {

// Reply to code 5: a 12-bit level, a 20-bit counter and a signed temperature.
struct LevelReply {
    std::uint32_t level = 0;
    std::uint32_t counter = 0;
    int temperature = 0;
};
LevelReply decodeLevelReply(const Frame& reply);

// Reply to code 89: program version b3.b2, boot loader version b5.b4, measuring module b6.
struct VersionReply {
    std::uint8_t programFirst = 0;
    std::uint8_t programSecond = 0;
    std::uint8_t bootloaderFirst = 0;
    std::uint8_t bootloaderSecond = 0;
    std::uint8_t measuringModule = 0;
};
VersionReply decodeVersionReply(const Frame& reply);

// What the version labels show: "1.21" and "1.3", or "?" and "?" for a zero program version.
// The RS-485 range, bit rate and data-push controls exist from program version x.21 on.
struct VersionDisplay {
    std::string program;
    std::string bootloader;
    bool rs485OptionsEnabled = false;
};
VersionDisplay versionDisplay(unsigned first, unsigned second, unsigned bootFirst,
                              unsigned bootSecond);

// The displays that the reading replies fill.
class ReadingsView {
public:
    virtual ~ReadingsView() = default;
    virtual void showVersion(const VersionDisplay& version) = 0;
    virtual void showMeasuringModule(const std::string& text) = 0;
    virtual void showRawLevel(std::uint32_t level) = 0;
};

// Owner of the replies that feed the live displays: 89 shows the versions (and, in a
// configuration read, asks for the configuration next); 5, the poll and "Test 05", shows the
// raw level.
class LiveReadings : public ReplyOwner {
public:
    LiveReadings(ExchangeEngine& engine, ReadingsView& view)
        : engine_(engine)
        , view_(view) {}
    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

private:
    void showVersion(const Frame& reply, std::uint8_t entryState);

    ExchangeEngine& engine_;
    ReadingsView& view_;
};

} // namespace vorkel
