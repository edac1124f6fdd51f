// The termios form of the component's line settings (POSIX binding).
#pragma once

#include "transport/serial_device.h"

#include <functional>
#include <string>
#include <termios.h>

namespace vorkel {

// Makes `tio` a raw line with the given settings: no flow control of any kind, no character
// processing, receiver on, modem control lines ignored. Returns why the settings cannot be
// had (an unsupported baud rate), or an empty text.
std::string applyLineSettings(termios& tio, const LineSettings& settings);

// The driver's serial flags (Linux: the flags of TIOCGSERIAL/TIOCSSERIAL), reached through two
// calls so that the rule below runs without an adapter. Each returns false when the device
// refuses.
struct SerialFlagsAccess {
    std::function<bool(int& flags)> get;
    std::function<bool(int flags)> set;
};

// Low-latency mode (ASYNC_LOW_LATENCY) for as long as the port is open: USB adapters then hand
// received bytes on at once instead of holding them up to their latency timer (16 ms on the
// common FTDI chips), which every 8-byte reply would otherwise wait for. A device without the
// calls (pseudo-terminal, many on-board UARTs) or one that refuses is left as it was, and that
// is no failure. The flag is the device's, not the descriptor's: it outlives the close (the
// FTDI driver keeps its 1 ms timer for every later program until the adapter is replugged), so
// `restore` gives it back as it was found.
class LowLatencyMode {
public:
    explicit LowLatencyMode(SerialFlagsAccess access);
    ~LowLatencyMode();
    LowLatencyMode(LowLatencyMode&& other) noexcept; // the restore goes with it
    LowLatencyMode& operator=(LowLatencyMode&&) = delete;
    LowLatencyMode(const LowLatencyMode&) = delete;
    LowLatencyMode& operator=(const LowLatencyMode&) = delete;

    // True when the mode is on (also when it was on already).
    bool on() const { return on_; }
    // Switches the mode off again if it was off when found; only the first call acts. Called
    // while the descriptor is still open.
    void restore();

private:
    SerialFlagsAccess access_;
    bool on_ = false;
    bool switchedOn_ = false; // by us: to be undone
};

} // namespace vorkel
