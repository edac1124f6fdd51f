#include "transport/termios_line.h"

#include <optional>
#include <utility>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace vorkel {
namespace {

std::optional<speed_t> speedFor(std::uint32_t baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
#if defined(B460800)
    case 460800:
        return B460800;
#endif
#if defined(B921600)
    case 921600:
        return B921600;
#endif
    default:
        return std::nullopt;
    }
}

tcflag_t characterSize(std::uint8_t dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

std::string applyLineSettings(termios& tio, const LineSettings& settings) {
    const std::optional<speed_t> speed = speedFor(settings.baud);
    if (!speed) {
        return "baud rate " + std::to_string(settings.baud) + " is not supported";
    }
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#if defined(CRTSCTS)
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
#if defined(CMSPAR)
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    tio.c_cflag |= CLOCAL | CREAD | characterSize(settings.dataBits);
    switch (settings.parity) {
    case ptNONE:
        break;
    case ptODD:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case ptEVEN:
        tio.c_cflag |= PARENB;
        break;
#if defined(CMSPAR)
    case ptMARK:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case ptSPACE:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
#else
    case ptMARK:
    case ptSPACE:
        return "mark and space parity are not supported";
#endif
    }
    if (settings.stopBits != sbONE) {
        tio.c_cflag |= CSTOPB; // 1.5 stop bits where the character size is 5, else 2
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    return {};
}

LowLatencyMode::LowLatencyMode(SerialFlagsAccess access)
    : access_(std::move(access)) {
#if defined(ASYNC_LOW_LATENCY)
    int flags = 0;
    if (!access_.get(flags)) {
        return;
    }
    if ((flags & ASYNC_LOW_LATENCY) != 0) {
        on_ = true;
        return;
    }
    on_ = switchedOn_ = access_.set(flags | ASYNC_LOW_LATENCY);
#endif
}

LowLatencyMode::LowLatencyMode(LowLatencyMode&& other) noexcept
    : access_(std::move(other.access_))
    , on_(other.on_)
    , switchedOn_(std::exchange(other.switchedOn_, false)) {}

LowLatencyMode::~LowLatencyMode() {
    restore();
}

void LowLatencyMode::restore() {
#if defined(ASYNC_LOW_LATENCY)
    if (!switchedOn_) {
        return;
    }
    switchedOn_ = false;
    on_ = false;
    // The other flags as they are now: only what we changed is undone. A device that has gone
    // keeps nothing to undo.
    int flags = 0;
    if (access_.get(flags)) {
        access_.set(flags & ~ASYNC_LOW_LATENCY);
    }
#endif
}

} // namespace vorkel
