// A serial device in memory behind the component's SerialDevice contract, so that tests can
// raise what no pseudo-terminal can: modem-line changes and line errors, at a moment they
// choose. The test keeps a FakeLine; the port opens a device on it at every Open.
#pragma once

#include "transport/comport.h"
#include "transport/serial_device.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace vorkel::test {

class FakeLine : public std::enable_shared_from_this<FakeLine> {
public:
    // For TComPort's constructor.
    SerialDeviceFactory factory();

    // The far end: bytes that arrive at the port, with the character-received event.
    void receive(const ByteString& bytes) {
        std::lock_guard lock(mutex_);
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
        events_.push_back({false, device_event::kCharReceived, modemStatus_});
        changed_.notify_all();
    }
    // Any other device event; `text` is what errorText() reports for it.
    void raise(std::uint32_t mask, std::uint32_t modemStatus, std::string text = {}) {
        std::lock_guard lock(mutex_);
        modemStatus_ = modemStatus;
        errorText_ = std::move(text);
        events_.push_back({false, mask, modemStatus});
        changed_.notify_all();
    }

    int opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }
    // Received bytes the port has not read yet.
    std::size_t waiting() {
        std::lock_guard lock(mutex_);
        return incoming_.size();
    }

private:
    friend class FakeSerialDevice;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<DeviceEvent> events_;
    ByteString incoming_;
    std::uint32_t modemStatus_ = 0;
    std::string errorText_;
    int opened_ = 0;
};

class FakeSerialDevice final : public SerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line)
        : line_(std::move(line)) {}

    void configure(const LineSettings&) override {}

    DeviceEvent waitEvent() override {
        std::unique_lock lock(line_->mutex_);
        line_->changed_.wait(lock, [&] { return interrupted_ || !line_->events_.empty(); });
        if (interrupted_) {
            return DeviceEvent{true, 0, 0};
        }
        const DeviceEvent event = line_->events_.front();
        line_->events_.pop_front();
        return event;
    }

    void interruptWait() override {
        std::lock_guard lock(line_->mutex_);
        interrupted_ = true;
        line_->changed_.notify_all();
    }

    std::size_t takeErrorsAndQueued() override {
        std::lock_guard lock(line_->mutex_);
        return line_->incoming_.size();
    }

    ByteString read(std::size_t count) override {
        std::lock_guard lock(line_->mutex_);
        count = std::min(count, line_->incoming_.size());
        ByteString bytes(line_->incoming_.begin(), line_->incoming_.begin() + count);
        line_->incoming_.erase(line_->incoming_.begin(), line_->incoming_.begin() + count);
        return bytes;
    }

    void write(std::span<const std::uint8_t>) override {}

    std::string errorText() const override {
        std::lock_guard lock(line_->mutex_);
        return line_->errorText_;
    }

private:
    std::shared_ptr<FakeLine> line_;
    bool interrupted_ = false; // guarded by the line's mutex
};

inline SerialDeviceFactory FakeLine::factory() {
    return [line = shared_from_this()](const std::string&) -> std::unique_ptr<SerialDevice> {
        {
            std::lock_guard lock(line->mutex_);
            ++line->opened_;
            // Like the real open, which discards both queues: nothing of the old connection.
            line->events_.clear();
            line->incoming_.clear();
        }
        return std::make_unique<FakeSerialDevice>(line);
    };
}

} // namespace vorkel::test
