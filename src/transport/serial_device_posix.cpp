// POSIX binding of the serial port component: termios for the line, poll() for the receive
// thread's wait, a pipe to wake it for shutdown.
#include "transport/port_holder.h"
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
#include <string>
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

// How long a write waits for a full driver queue to take the rest of its bytes. A frame is
// eight bytes: a line that takes none of them for this long is stuck, and the main thread
// must not hang on it.
constexpr std::chrono::milliseconds kWriteLimit{1000};

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

// Why the port is busy, with the program that holds it when the user may see it (a modem
// manager probing a new adapter is the usual one).
std::string describeBusy(const std::string& port, const std::string& path) {
    return portInUseText(port, findPortHolder(path, "/proc", static_cast<int>(::getpid())));
}

bool isBusy(int error) {
    return error == EBUSY || error == EWOULDBLOCK;
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
    PosixSerialDevice(std::string port, int fd, LowLatencyMode lowLatency)
        : port_(std::move(port))
        , fd_(fd)
        , lowLatency_(std::move(lowLatency)) {
#if defined(__linux__)
        if (::ioctl(fd_, TIOCGICOUNT, &counts_) == 0) {
            modemWatcher_.emplace(fd_, notifyPipe_);
        }
#endif
    }

    ~PosixSerialDevice() override {
#if defined(__linux__)
        modemWatcher_.reset();
#endif
        lowLatency_.restore(); // through this descriptor, so before it goes
        // The exclusive flag belongs to the device, not to this descriptor: a pseudo-terminal
        // whose far end stays open (the virtual sensor) would keep it after the close, and
        // nobody but root could open the port again, not even this program.
        ::ioctl(fd_, TIOCNXCL);
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
            if (failurePending_.exchange(false)) {
                if (gone_) {
                    hungUp_ = true; // from now on only the stop is waited for
                    return DeviceEvent{false, device_event::kLineError, 0};
                }
                return DeviceEvent{false, device_event::kLineError, modemStatus()};
            }
            pollfd fds[3];
            nfds_t count = 0;
            fds[count++] = pollfd{wakePipe_.readEnd, POLLIN, 0};
            const nfds_t deviceSlot = hungUp_ ? 0 : count;
            if (!hungUp_) {
                fds[count++] = pollfd{fd_, POLLIN, 0};
            }
            const nfds_t notifySlot = count;
            fds[count++] = pollfd{notifyPipe_.readEnd, POLLIN, 0};

            if (::poll(fds, count, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                hungUp_ = true; // cannot wait on the device any more; still wait for the stop
                if (markGone("cannot wait for the device: " + describeError(errno))) {
                    return DeviceEvent{false, device_event::kLineError, 0};
                }
                continue;
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
                    if (markGone("the line was hung up (adapter unplugged or far end closed)")) {
                        mask |= device_event::kLineError;
                    }
                    if (queued() > 0) {
                        mask |= device_event::kCharReceived; // what came before the hang-up
                    }
                } else if (revents & POLLIN) {
                    mask |= device_event::kCharReceived;
                }
            }
            if (fds[notifySlot].revents != 0) {
                notifyPipe_.drain(); // a modem-line change, or a failure to report (loop top)
            }
            if (const std::uint32_t changes = counterChanges(); changes != 0) {
                if (changes & device_event::kLineError) {
                    // Framing, parity, overrun or break: no failure text of ours.
                    std::lock_guard lock(errorMutex_);
                    errorText_.clear();
                }
                mask |= changes;
            }
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
                reportGone("cannot read: " + describeError(errno));
            }
            got = 0;
        } else if (got == 0 && count > 0) {
            reportGone("the far end has closed the line"); // end of file
        }
        bytes.resize(static_cast<std::size_t>(got));
        return bytes;
    }

    void write(std::span<const std::uint8_t> bytes) override {
        if (gone_) {
            return; // said once already; every poll would say it again
        }
        const auto deadline = std::chrono::steady_clock::now() + kWriteLimit;
        const std::size_t total = bytes.size();
        while (!bytes.empty()) {
            const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
            if (put > 0) {
                bytes = bytes.subspan(static_cast<std::size_t>(put));
                continue;
            }
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                reportGone("cannot write: " + describeError(errno));
                return;
            }
            // The driver's queue is full: wait until it takes more, but not for long.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd room{fd_, POLLOUT, 0};
            const int ready =
                left.count() > 0 ? ::poll(&room, 1, static_cast<int>(left.count())) : 0;
            if (ready < 0 && errno != EINTR) {
                reportGone("cannot write: " + describeError(errno));
                return;
            }
            if (ready == 0) {
                reportFailure("cannot write: the device took " +
                              std::to_string(total - bytes.size()) + " of " +
                              std::to_string(total) + " bytes within " +
                              std::to_string(kWriteLimit.count()) + " ms");
                return;
            }
            if (ready > 0 && (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                reportGone("cannot write: the line was hung up");
                return;
            }
        }
    }

    std::string errorText() const override {
        std::lock_guard lock(errorMutex_);
        return errorText_;
    }

    bool lowLatency() const override {
        return lowLatency_.on();
    }

private:
    // A failure for the receive thread to report as a line-error event. Any thread.
    void reportFailure(const std::string& text) {
        {
            std::lock_guard lock(errorMutex_);
            errorText_ = text;
        }
        failurePending_ = true;
        notifyPipe_.signal();
    }

    // The device is gone for good: reported once, whoever notices it first.
    void reportGone(const std::string& text) {
        if (markGone(text)) {
            failurePending_ = true;
            notifyPipe_.signal();
        }
    }

    // True for the first caller only; the text is that of the first failure.
    bool markGone(const std::string& text) {
        std::lock_guard lock(errorMutex_);
        if (gone_.exchange(true)) {
            return false;
        }
        errorText_ = text;
        return true;
    }

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
    LowLatencyMode lowLatency_;
    Pipe wakePipe_;       // the stop
    Pipe notifyPipe_;     // a modem-line change (watcher thread) or a failure (owner's thread)
    bool hungUp_ = false; // receive thread only: the device is no longer waited on
    std::atomic<bool> gone_{false};           // the device failed for good
    std::atomic<bool> failurePending_{false}; // a failure not yet reported as an event
    mutable std::mutex errorMutex_;
    std::string errorText_;
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
        const int error = errno;
        throw EComError(cannotOpenMessage(port, isBusy(error) ? describeBusy(port, path)
                                                              : describeError(error)));
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
        const int error = errno;
        fail(isBusy(error) ? describeBusy(port, path) : describeError(error));
    }
    // DTR and RTS down, as the sensor's converters expect; devices without modem lines refuse
    // this, which is fine.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    ::tcflush(fd, TCIOFLUSH);
    SerialFlagsAccess serialFlags{[](int&) { return false; }, [](int) { return false; }};
#if defined(__linux__) && defined(TIOCGSERIAL)
    serialFlags.get = [fd](int& flags) {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
            return false;
        }
        flags = serial.flags;
        return true;
    };
    serialFlags.set = [fd](int flags) {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
            return false;
        }
        serial.flags = flags;
        return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    };
#endif
    LowLatencyMode lowLatency(std::move(serialFlags));
    return std::make_unique<PosixSerialDevice>(port, fd, std::move(lowLatency));
}

} // namespace vorkel
