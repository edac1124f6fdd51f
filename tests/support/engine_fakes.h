// Stand-ins for everything the exchange engine reaches outside itself, so that its tests run
// in virtual time: a 2 s time-out is a step of a fake clock, not a sleep.
#pragma once

#include "protocol/engine_seams.h"
#include "protocol/frame.h"
#include "transport/byte_string.h"
#include "transport/comport.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vorkel::test {

// A clock and the timers that run on it. advanceBy() fires due timers in time order, each at
// its own moment, as an event loop would.
class VirtualTime {
public:
    class Timer : public EngineTimer {
    public:
        explicit Timer(VirtualTime& time)
            : time_(time) {}
        void setInterval(std::uint32_t ms) override { interval_ = ms; }
        void start() override {
            active_ = true;
            due_ = time_.now_ + interval_;
        }
        void stop() override { active_ = false; }
        bool isActive() const override { return active_; }
        void setHandler(std::function<void()> onTimeout) override {
            handler_ = std::move(onTimeout);
        }

        std::uint32_t interval() const { return interval_; }
        std::uint64_t due() const { return due_; }

    private:
        friend class VirtualTime;
        VirtualTime& time_;
        std::function<void()> handler_;
        std::uint32_t interval_ = 0;
        std::uint64_t due_ = 0;
        bool active_ = false;
    };

    std::uint64_t now() const { return now_; }
    std::uint32_t tickCount() const { return static_cast<std::uint32_t>(now_); }

    void add(Timer& timer) { timers_.push_back(&timer); }

    void advanceBy(std::uint64_t ms) {
        const std::uint64_t end = now_ + ms;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* timer : timers_) {
                if (timer->active_ && timer->due_ <= end && (!next || timer->due_ < next->due_)) {
                    next = timer;
                }
            }
            if (next == nullptr) {
                break;
            }
            now_ = next->due_;
            next->due_ = now_ + next->interval_; // periodic, until its handler stops it
            if (next->handler_) {
                next->handler_();
            }
        }
        // A handler that ran a nested loop (a modal box) has moved the clock on already.
        now_ = std::max(now_, end);
    }

private:
    std::uint64_t now_ = 100000; // well away from zero, like a PC that has been on a while
    std::vector<Timer*> timers_;
};

// The serial port in memory: what was written, opened and closed.
class FakePort : public SensorPort {
public:
    struct Opening {
        std::string path;
        std::uint32_t baud;
    };

    void setPort(const std::string& path) override { path_ = path; }
    void setBaud(std::uint32_t baud) override { baud_ = baud; }
    void open() override {
        if (failOpen) {
            ++refusals;
            throw EComError("TCOMPORT : cannot open " + path_ + "\rNo such file or directory");
        }
        open_ = true;
        openings.push_back({path_, baud_});
    }
    void close() override {
        if (open_) {
            ++closings;
        }
        open_ = false;
    }
    void write(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
    }

    bool isOpen() const { return open_; }
    bool failOpen = false;
    int refusals = 0; // opens that failed
    std::vector<Opening> openings;
    int closings = 0;
    std::vector<ByteString> written;

private:
    std::string path_;
    std::uint32_t baud_ = 0;
    bool open_ = false;
};

// The window as the engine sees it.
class FakeView : public EngineView {
public:
    void setCaption(const std::string& text) override { caption = text; }
    void enableCommandControls(bool enabled) override {
        commandControls = enabled;
        if (enabled) {
            progressBarShown = false;
        }
    }
    void enableConfigurationControls(bool enabled) override { configurationControls = enabled; }
    void enableStartFlash(bool enabled) override { startFlash = enabled; }
    void enableMultiplierButton(bool enabled) override { multiplierButton = enabled; }
    void enableWriteFromFile(bool enabled) override { writeFromFile = enabled; }
    void disableSensorWrites() override { sensorWrites = false; }
    void blankLevelDisplays() override { levelDisplays = "blank"; }
    void resetReadingDisplays() override { levelDisplays = "reset"; }
    int selectedPortIndex() const override { return selectedIndex; }
    std::string selectedPortText() const override { return selectedText; }

    // Switched off at the start, so that a test sees who switches them on.
    std::string caption;
    bool commandControls = false;
    bool configurationControls = true;
    bool startFlash = false;
    bool multiplierButton = true;
    bool writeFromFile = false;
    bool sensorWrites = true; // the flows' own write buttons, until the engine switches them off
    bool progressBarShown = false;
    std::string levelDisplays;
    int selectedIndex = 0;
    std::string selectedText = "COM3";
};

// English texts of the keys the engine looks up; other keys come back as themselves.
inline std::string englishText(std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"rsProgram_name", "Configurator"},
        {"rsAttached", "connected"},
        {"rsNotAttached", "NOT CONNECTED"},
        {"rsFlashing", " : WAITING FOR SENSOR RESPONSE"},
        {"rsSent", "sent:"},
        {"rsReceivedData", "received:"},
        {"rsDeviceTimeout", "Sensor response timeout!"},
        {"rsDeviceAttached", "Sensor connected:"},
        {"rsResponseNotReceived", "No response from sensor!"},
        {"rsInvalidResponseChecksum",
         "Invalid response from sensor\r\nThe checksum does not match"},
        {"rsInvalidResponse", " Invalid response from sensor\r\n Response format not recognized"},
    };
    const auto found = texts.find(key);
    return found == texts.end() ? std::string(key) : found->second;
}

// A reply frame with its checksum.
inline Frame reply(std::uint8_t code, FrameData payload, std::uint8_t start = kReplyStart) {
    Frame frame{};
    frame[frame_offset::kStart] = start;
    frame[frame_offset::kCode] = code;
    std::copy(payload.begin(), payload.end(), frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return frame;
}

inline ByteString bytesOf(const Frame& frame) {
    return ByteString(frame.begin(), frame.end());
}

} // namespace vorkel::test
