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

// Asks for low-latency mode (ASYNC_LOW_LATENCY): USB adapters then hand received bytes on at
// once instead of holding them up to their latency timer (16 ms on the common FTDI chips),
// which every 8-byte reply would otherwise wait for. True when the mode is on afterwards; a
// device without the calls (pseudo-terminal, many on-board UARTs) or one that refuses is left
// as it was, and that is no failure.
bool requestLowLatency(const SerialFlagsAccess& access);

} // namespace vorkel
