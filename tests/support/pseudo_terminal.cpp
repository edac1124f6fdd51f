#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace vorkel::test {
namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        fail("posix_openpt");
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        fail("ptsname_r");
    }
    path_ = name;
    observer_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (observer_ < 0) {
        fail("open slave");
    }
}

PseudoTerminal::~PseudoTerminal() {
    hangUp();
}

void PseudoTerminal::send(const ByteString& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            fail("write master");
        }
        done += static_cast<std::size_t>(n);
    }
}

ByteString PseudoTerminal::receive(std::size_t count, std::chrono::milliseconds limit) {
    ByteString bytes;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

ByteString PseudoTerminal::drain(std::chrono::milliseconds quiet) {
    ByteString bytes;
    for (;;) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(quiet.count())) <= 0) {
            return bytes;
        }
        std::uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool PseudoTerminal::exclusive() const {
    int flag = 0;
    if (::ioctl(observer_, TIOCGEXCL, &flag) != 0) {
        throw std::runtime_error("TIOCGEXCL");
    }
    return flag != 0;
}

termios PseudoTerminal::settings() const {
    termios tio{};
    if (::tcgetattr(observer_, &tio) != 0) {
        fail("tcgetattr");
    }
    return tio;
}

void PseudoTerminal::hangUp() {
    for (int* fd : {&observer_, &master_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

} // namespace vorkel::test
