// The narrow contract between the portable component and one OS binding. Each binding
// (serial_device_posix.cpp, serial_device_win32.cpp) implements it in one file; CMake
// compiles the one that fits the target.
#pragma once

#include "transport/byte_string.h"
#include "transport/comport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vorkel {

// Event bits, as the Windows communications interface numbers them; the other bindings
// translate their own reports into these.
namespace device_event {
inline constexpr std::uint32_t kCharReceived = 0x0001;
inline constexpr std::uint32_t kCts = 0x0008;
inline constexpr std::uint32_t kDsr = 0x0010;
inline constexpr std::uint32_t kRlsd = 0x0020;
inline constexpr std::uint32_t kLineError = 0x0080;
inline constexpr std::uint32_t kRing = 0x0100;
inline constexpr std::uint32_t kAll = kCharReceived | kCts | kDsr | kRlsd | kLineError | kRing;
} // namespace device_event

// Modem status bits (a set bit means the line is on).
namespace modem_status {
inline constexpr std::uint32_t kCtsOn = 0x10;
inline constexpr std::uint32_t kDsrOn = 0x20;
inline constexpr std::uint32_t kRingOn = 0x40;
inline constexpr std::uint32_t kRlsdOn = 0x80;
} // namespace modem_status

struct LineSettings {
    std::uint32_t baud = 9600;
    std::uint8_t dataBits = 8;
    TParity parity = ptNONE;
    TStopBit stopBits = sbONE;
    std::uint32_t inputQueue = 8192;
    std::uint32_t outputQueue = 8192;
};

struct DeviceEvent {
    bool stopped = false; // the wait was interrupted for shutdown; mask and status are empty
    std::uint32_t mask = 0;
    std::uint32_t modemStatus = 0;
};

class SerialDevice {
public:
    // Opens the device for `port` exclusively, raw, DTR and RTS lowered, both queues
    // discarded. Raises EComError with the component's "cannot open" message.
    static std::unique_ptr<SerialDevice> open(const std::string& port);

    virtual ~SerialDevice() = default;

    // Receive thread, once, before its first wait (a binding may raise the thread's priority).
    virtual void prepareReceiveThread() {}

    // Applies the line settings. Raises EComError for settings the device cannot take.
    virtual void configure(const LineSettings& settings) = 0;

    // Receive thread: blocks, without a time-out, until a device event or interruptWait().
    // After the device went away it reports that once as a line error and then waits only
    // for the interruption.
    virtual DeviceEvent waitEvent() = 0;

    // Any thread: makes the current or the next waitEvent() return `stopped`.
    virtual void interruptWait() = 0;

    // Owner's thread: reads and clears the line-error state; returns the bytes waiting.
    virtual std::size_t takeErrorsAndQueued() = 0;

    // Owner's thread: reads up to `count` waiting bytes without blocking.
    virtual ByteString read(std::size_t count) = 0;

    // Owner's thread: hands all bytes to the driver and returns without waiting for the line
    // to send them. A driver queue that is full is waited for, but only briefly (about 1 s);
    // a write the device does not take is reported, later and on the receive thread, as a
    // line-error event, with errorText() saying why.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;

    // Owner's thread: the system's text for the failure that the last line-error event
    // reported (a write the device did not take, the device gone); empty when that event was
    // an ordinary line error (framing, parity, overrun, break).
    virtual std::string errorText() const { return {}; }

    // Whether the driver hands received bytes on at once (a USB adapter in low-latency mode);
    // false where the device has no such mode or refused it.
    virtual bool lowLatency() const { return false; }
};

// "TCOMPORT : cannot open <port>\r<reason>": the message of every failed open.
std::string cannotOpenMessage(const std::string& port, const std::string& reason);

} // namespace vorkel
