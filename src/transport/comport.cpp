#include "transport/comport.h"

#include "transport/comm_thread.h"
#include "transport/serial_device.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace vorkel {

std::string cannotOpenMessage(const std::string& port, const std::string& reason) {
    return "TCOMPORT : cannot open " + port + "\r" + reason;
}

TComPort::TComPort(MainThreadExecutor executor, SerialDeviceFactory openDevice)
    : executor_(std::move(executor))
    , openDevice_(std::move(openDevice)) {}

TComPort::~TComPort() {
    Close();
}

std::string TComPort::Terminator() const {
    std::string text;
    for (const std::uint8_t byte : terminator_) {
        text += '#';
        text += std::to_string(byte);
    }
    return text;
}

void TComPort::setTerminator(std::string_view text) {
    terminator_.clear();
    if (!text.empty()) {
        text.remove_prefix(1); // the leading "#", taken on trust
    }
    while (!text.empty()) {
        const std::size_t hash = text.find('#');
        const std::string_view part = text.substr(0, hash);
        text = hash == std::string_view::npos ? std::string_view{} : text.substr(hash + 1);

        long value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc{} || end != part.data() + part.size()) {
            terminator_ = {13, 10};
            throw EComError("Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>"
                            "\rexample: #13#10");
        }
        terminator_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    if (terminator_.empty()) {
        throw EComError("Terminator string cannot be empty!");
    }
}

void TComPort::Open() {
    if (open_) {
        return;
    }
    std::unique_ptr<SerialDevice> device =
        openDevice_ ? openDevice_(Port) : SerialDevice::open(Port);
    device->configure(LineSettings{Baud, DataBits, Parity, StopBits, WinQSizeIn, WinQSizeOut});

    auto thread = std::make_shared<TCommThread>(std::move(device), executor_);
    thread->onReceive = [this](std::size_t waiting) { receiveDispatch(waiting); };
    thread->onStatus = [this](std::uint32_t mask, std::uint32_t modem) {
        statusDispatch(mask, modem);
    };
    // Bytes of an unfinished message, and the last failure, belong to the previous connection.
    accumulated_.clear();
    lastErrorText_.clear();
    thread_ = std::move(thread);
    open_ = true;
    thread_->start();
    if (OnPortOpen) {
        OnPortOpen(*this);
    }
}

void TComPort::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    // Move it out first: stop() may run while a dispatch of this very thread is on the stack,
    // and that dispatch keeps its own reference.
    std::shared_ptr<TCommThread> thread = std::move(thread_);
    thread->stop();
    if (OnPortClose) {
        OnPortClose(*this);
    }
}

void TComPort::Write(std::span<const std::uint8_t> data) {
    if (!open_ || data.empty()) {
        return;
    }
    thread_->device().write(data);
}

void TComPort::receiveDispatch(std::size_t waiting) {
    ByteString data;
    if (waiting > 0) {
        // Only the bytes actually read are delivered: a short read must not pad the data.
        data = thread_->device().read(waiting);
    }
    if (!open_ || !ReceiveCallBack) {
        return;
    }
    if (ReceiveMode == rmRAW) {
        TReceiveProc deliver = ReceiveCallBack;
        deliver(data);
        return;
    }
    accumulated_.insert(accumulated_.end(), data.begin(), data.end());
    deliverTerminatedMessages();
}

void TComPort::deliverTerminatedMessages() {
    const std::weak_ptr<int> alive = alive_;
    // Every complete message goes out now: one that waited for the next event could wait for
    // ever when the peer has nothing more to send.
    for (;;) {
        const auto found = std::search(accumulated_.begin(), accumulated_.end(),
                                       terminator_.begin(), terminator_.end());
        if (found == accumulated_.end() || terminator_.empty()) {
            return;
        }
        const auto end = found + static_cast<std::ptrdiff_t>(terminator_.size());
        ByteString message(accumulated_.begin(), end);
        accumulated_.erase(accumulated_.begin(), end);

        TReceiveProc deliver = ReceiveCallBack;
        if (!deliver) {
            return;
        }
        deliver(message);
        if (alive.expired() || !open_) {
            return; // the callback destroyed or closed the port
        }
    }
}

void TComPort::statusDispatch(std::uint32_t eventMask, std::uint32_t modemStatus) {
    struct LineEvent {
        std::uint32_t eventBit;
        std::uint32_t statusBit;
        TStatusChanged TComPort::*handler;
    };
    static constexpr LineEvent kLineEvents[] = {
        {device_event::kCts, modem_status::kCtsOn, &TComPort::OnCTSChanged},
        {device_event::kDsr, modem_status::kDsrOn, &TComPort::OnDSRChanged},
        {device_event::kRlsd, modem_status::kRlsdOn, &TComPort::OnRLSDChanged},
        {device_event::kRing, modem_status::kRingOn, &TComPort::OnRingChanged},
    };
    // Taken now: a line callback below may close the port and open another device.
    std::string errorText;
    if ((eventMask & device_event::kLineError) && thread_) {
        errorText = thread_->device().errorText();
    }
    const std::weak_ptr<int> alive = alive_;
    for (const LineEvent& line : kLineEvents) {
        if ((eventMask & line.eventBit) == 0) {
            continue;
        }
        if (TStatusChanged call = this->*line.handler) {
            call((modemStatus & line.statusBit) == 0);
            if (alive.expired() || !open_) {
                return;
            }
        }
    }
    if (eventMask & device_event::kLineError) {
        lastErrorText_ = std::move(errorText);
        if (TNotifyEvent call = OnError) {
            call(*this);
        }
    }
}

} // namespace vorkel
