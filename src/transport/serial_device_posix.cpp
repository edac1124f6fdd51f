// POSIX binding of the serial port component: termios for the line, poll() for the receive
// thread's wait, a pipe to wake it for shutdown.
#include "transport/serial_device.h"
#include "transport/termios_line.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace vorkel {
namespace {

std::string describeError(int error) {
    std::string text = std::error_code(error, std::generic_category()).message();
    if (error == EACCES || error == EPERM) {
        // The first thing every Linux user of a serial tool runs into.
        text += " (serial ports belong to the \"dialout\" group: add your user to it with "
                "\"sudo usermod -aG dialout $USER\" and log in again)";
    } else if (error == EBUSY || error == EWOULDBLOCK) {
        text += " (the port is in use by another program)";
    }
    return text;
}

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;

    Pipe() {
        int fds[2];
        if (::pipe(fds) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
            for (const int fd : fds) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
        }
    }
    ~Pipe() {
        for (const int fd : {readEnd, writeEnd}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    void signal() const {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
    }
    void drain() const {
        char buffer[64];
        while (::read(readEnd, buffer, sizeof buffer) > 0) {
        }
    }
};

#if defined(__linux__)
// Modem-line changes have no poll() event on Linux: TIOCMIWAIT blocks until one happens. A
// small watcher thread sits in it and pokes the receive thread through a pipe. Only real
// UART drivers support it (they also keep the TIOCGICOUNT counters); on pseudo-terminals and
// other ttys without modem lines there is no watcher.
class ModemWatcher {
public:
    ModemWatcher(int fd, const Pipe& notify)
        : fd_(fd)
        , notify_(notify) {
        installWakeSignal();
        thread_ = std::thread([this] { run(); });
    }
    ~ModemWatcher() {
        stop_ = true;
        // A blocked ioctl returns only on a line change or a signal. The signal may come just
        // before the ioctl is entered, so it is sent until the thread has left.
        while (!finished_) {
            ::pthread_kill(thread_.native_handle(), wakeSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        thread_.join();
    }
    ModemWatcher(const ModemWatcher&) = delete;
    ModemWatcher& operator=(const ModemWatcher&) = delete;

private:
    static int wakeSignal() { return SIGRTMIN + 4; }

    static void installWakeSignal() {
        static std::once_flag once;
        std::call_once(once, [] {
            struct sigaction action {};
            action.sa_handler = [](int) {}; // exists only to interrupt the ioctl (no SA_RESTART)
            sigemptyset(&action.sa_mask);
            ::sigaction(wakeSignal(), &action, nullptr);
        });
    }

    void run() {
        while (!stop_) {
            const int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
            if (::ioctl(fd_, TIOCMIWAIT, lines) == 0) {
                notify_.signal();
            } else if (errno != EINTR) {
                break; // the device went away or cannot do it
            }
        }
        finished_ = true;
    }

    int fd_;
    const Pipe& notify_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
#endif

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice(std::string port, int fd)
        : port_(std::move(port))
        , fd_(fd) {
#if defined(__linux__)
        if (::ioctl(fd_, TIOCGICOUNT, &counts_) == 0) {
            modemWatcher_.emplace(fd_, modemPipe_);
        }
#endif
    }

    ~PosixSerialDevice() override {
#if defined(__linux__)
        modemWatcher_.reset();
#endif
        ::close(fd_); // also releases the lock taken at open
    }

    void configure(const LineSettings& settings) override {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) {
            throw EComError(cannotOpenMessage(port_, describeError(errno)));
        }
        if (const std::string refused = applyLineSettings(tio, settings); !refused.empty()) {
            throw EComError(cannotOpenMessage(port_, refused));
        }
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            throw EComError(cannotOpenMessage(port_, describeError(errno)));
        }
        // The driver queue sizes are Windows recommendations; a tty has fixed buffers.
    }

    void prepareReceiveThread() override {}

    DeviceEvent waitEvent() override {
        for (;;) {
            if (failed_ && !failureReported_) {
                failureReported_ = true;
                hungUp_ = true;
                return DeviceEvent{false, device_event::kLineError, 0};
            }
            pollfd fds[3];
            nfds_t count = 0;
            fds[count++] = pollfd{wakePipe_.readEnd, POLLIN, 0};
            const nfds_t deviceSlot = hungUp_ ? 0 : count;
            if (!hungUp_) {
                fds[count++] = pollfd{fd_, POLLIN, 0};
            }
            const nfds_t modemSlot = count;
            fds[count++] = pollfd{modemPipe_.readEnd, POLLIN, 0};

            if (::poll(fds, count, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                hungUp_ = true; // cannot wait on the device any more; still wait for the stop
                return DeviceEvent{false, device_event::kLineError, 0};
            }
            if (fds[0].revents != 0) {
                return DeviceEvent{true, 0, 0};
            }
            std::uint32_t mask = 0;
            if (deviceSlot != 0) {
                const short revents = fds[deviceSlot].revents;
                if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
                    // Unplugged adapter or closed far side: report once, then stop waiting on
                    // the device so the thread does not spin on a permanent hang-up.
                    hungUp_ = true;
                    failureReported_ = true;
                    mask |= device_event::kLineError;
                    if (queued() > 0) {
                        mask |= device_event::kCharReceived; // what came before the hang-up
                    }
                } else if (revents & POLLIN) {
                    mask |= device_event::kCharReceived;
                }
            }
            if (fds[modemSlot].revents != 0) {
                modemPipe_.drain();
            }
            mask |= counterChanges();
            if (mask != 0) {
                return DeviceEvent{false, mask, modemStatus()};
            }
        }
    }

    void interruptWait() override {
        wakePipe_.signal();
    }

    std::size_t takeErrorsAndQueued() override {
        // Line errors were already folded into the event by waitEvent (TIOCGICOUNT).
        return queued();
    }

    ByteString read(std::size_t count) override {
        ByteString bytes(count);
        ssize_t got;
        do {
            got = ::read(fd_, bytes.data(), count);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                failed_ = true;
            }
            got = 0;
        } else if (got == 0) {
            failed_ = true; // end of file: the far side is gone
        }
        bytes.resize(static_cast<std::size_t>(got));
        return bytes;
    }

    void write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    failed_ = true;
                }
                // A full output queue means the line is stuck; the request's time-out will tell.
                // Waiting here would freeze the program.
                return;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(put));
        }
    }

private:
    std::size_t queued() const {
        int count = 0;
        if (::ioctl(fd_, FIONREAD, &count) != 0 || count < 0) {
            return 0;
        }
        return static_cast<std::size_t>(count);
    }

    std::uint32_t modemStatus() const {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
            return 0;
        }
        std::uint32_t status = 0;
        if (lines & TIOCM_CTS)
            status |= modem_status::kCtsOn;
        if (lines & TIOCM_DSR)
            status |= modem_status::kDsrOn;
        if (lines & TIOCM_RNG)
            status |= modem_status::kRingOn;
        if (lines & TIOCM_CD)
            status |= modem_status::kRlsdOn;
        return status;
    }

    // Modem-line changes and line errors since the last look, from the driver's counters.
    std::uint32_t counterChanges() {
#if defined(__linux__)
        if (!modemWatcher_ || hungUp_) {
            return 0;
        }
        serial_icounter_struct now{};
        if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
            return 0;
        }
        std::uint32_t mask = 0;
        if (now.cts != counts_.cts)
            mask |= device_event::kCts;
        if (now.dsr != counts_.dsr)
            mask |= device_event::kDsr;
        if (now.dcd != counts_.dcd)
            mask |= device_event::kRlsd;
        if (now.rng != counts_.rng)
            mask |= device_event::kRing;
        if (now.frame != counts_.frame || now.overrun != counts_.overrun ||
            now.parity != counts_.parity || now.brk != counts_.brk ||
            now.buf_overrun != counts_.buf_overrun) {
            mask |= device_event::kLineError;
        }
        counts_ = now;
        return mask;
#else
        return 0;
#endif
    }

    std::string port_;
    int fd_;
    Pipe wakePipe_;
    Pipe modemPipe_;
    bool hungUp_ = false;          // receive thread only
    bool failureReported_ = false; // receive thread only
    std::atomic<bool> failed_{false};
#if defined(__linux__)
    serial_icounter_struct counts_{};
    std::optional<ModemWatcher> modemWatcher_;
#endif
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& port) {
    const std::string path = port.find('/') == std::string::npos ? "/dev/" + port : port;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw EComError(cannotOpenMessage(port, describeError(errno)));
    }
    auto fail = [&](const std::string& reason) {
        ::close(fd);
        throw EComError(cannotOpenMessage(port, reason));
    };
    if (!::isatty(fd)) {
        fail("not a serial device");
    }
    // TIOCEXCL keeps other users' programs out; root ignores it, so an advisory lock keeps out
    // a second configurator (and other tools that lock) even then.
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        fail(describeError(errno));
    }
    // DTR and RTS down, as the sensor's converters expect; devices without modem lines refuse
    // this, which is fine.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    ::tcflush(fd, TCIOFLUSH);
    return std::make_unique<PosixSerialDevice>(port, fd);
}

} // namespace vorkel
