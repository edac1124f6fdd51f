// The termios form of the component's line settings (POSIX binding).
#pragma once

#include "transport/serial_device.h"

#include <string>
#include <termios.h>

namespace vorkel {

// Makes `tio` a raw line with the given settings: no flow control of any kind, no character
// processing, receiver on, modem control lines ignored. Returns why the settings cannot be
// had (an unsupported baud rate), or an empty text.
std::string applyLineSettings(termios& tio, const LineSettings& settings);

} // namespace vorkel
