// vorkel-sensor-sim: a virtual Vorkel sensor on a pseudo-terminal.
//
// The program owns the clock and the devices; the sensor's behaviour lives in SensorModel. One
// poll() loop waits for requests on the pseudo-terminal, commands on standard input, a
// termination signal (through a self-pipe) and the time the next reply byte is due.
#include "sim/command_line.h"
#include "sim/sensor_model.h"
#include "sim/trace.h"
#include "sim/virtual_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <system_error>
#include <unistd.h>
#include <variant>
#include <vector>

namespace vorkel::sim {
namespace {

constexpr std::string_view kProgramName = "vorkel-sensor-sim";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kReadSize = 256;

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// ---- termination signals through a self-pipe ------------------------------------------------

int signalPipeWriteEnd = -1;

extern "C" void onTerminationSignal(int signal) {
    // Only async-signal-safe work here: one byte into the pipe that the loop polls.
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

class SignalPipe {
public:
    SignalPipe() {
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
            fail("pipe2");
        }
        readEnd_ = ends[0];
        signalPipeWriteEnd = ends[1];
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        ::sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::sigaction(signal, &action, nullptr);
        }
        // Reading a terminal from the background would stop the program; ignored, the read
        // fails instead and the console is simply given up.
        ::signal(SIGTTIN, SIG_IGN);
        ::signal(SIGPIPE, SIG_IGN);
    }
    ~SignalPipe() {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::signal(signal, SIG_DFL);
        }
        ::close(signalPipeWriteEnd);
        ::close(readEnd_);
    }
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    int readEnd() const { return readEnd_; }

private:
    int readEnd_ = -1;
};

// ---- standard input ----------------------------------------------------------------------

class Console {
public:
    // -1 once the input has ended; poll() skips negative descriptors.
    int fd() const { return fd_; }

    // The complete lines that have arrived. At the end of the input the last unfinished line
    // counts as complete, and the console stops listening: the sensor runs on.
    std::vector<std::string> readLines() {
        char buffer[kReadSize];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            return {};
        }
        if (n <= 0) {
            fd_ = -1;
            partial_ += '\n';
        } else {
            partial_.append(buffer, static_cast<std::size_t>(n));
        }
        std::vector<std::string> lines;
        for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
            lines.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        return lines;
    }

private:
    int fd_ = STDIN_FILENO;
    std::string partial_;
};

// ---- files -------------------------------------------------------------------------------

class TraceFile {
public:
    explicit TraceFile(const std::filesystem::path& path) {
        if (path.empty()) {
            return;
        }
        file_.reset(std::fopen(path.c_str(), "w"));
        if (!file_) {
            fail("cannot write " + path.string());
        }
    }

    // Flushed per line, so that whoever reads the file while the sensor runs sees every event.
    void write(const std::vector<TraceRecord>& records) {
        if (!file_) {
            return;
        }
        for (const TraceRecord& record : records) {
            std::fprintf(file_.get(), "%s\n", formatTraceLine(record).c_str());
            std::fflush(file_.get());
        }
    }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

// Written under a temporary name and renamed, so that a reader never sees half an image.
void writeImage(const std::filesystem::path& path, const ByteString& image) {
    const std::filesystem::path temporary = path.string() + ".part";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(temporary.c_str(), "wb"),
                                                         std::fclose);
    if (!file || std::fwrite(image.data(), 1, image.size(), file.get()) != image.size() ||
        std::fclose(file.release()) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cerr << kProgramName << ": cannot write the firmware image to " << path.string()
                  << ": " << std::strerror(errno) << '\n';
    }
}

// ---- the program -------------------------------------------------------------------------

class SensorProgram {
public:
    explicit SensorProgram(const ProgramOptions& options)
        : options_(options)
        , model_(options.sensor, SimTime{0})
        , line_(model_.bitrate())
        , link_(virtualPortsFolder(), options.name, line_.devicePath())
        , trace_(options.traceFile) {
        // The kernel may wake a sleeper up to its timer slack late (50 us by default); a paced
        // reply byte is due every 521 us, so the sensor asks to be woken on time.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }

    int run() {
        std::cout << link_.path().string() << std::endl; // scripts wait for this line
        for (;;) {
            pollfd fds[] = {{signals_.readEnd(), POLLIN, 0},
                            {line_.master(), POLLIN, 0},
                            {console_.fd(), POLLIN, 0}};
            const std::optional<timespec> timeout = pollTimeout();
            if (::ppoll(fds, std::size(fds), timeout ? &*timeout : nullptr, nullptr) < 0) {
                if (errno == EINTR) {
                    continue; // a signal: its byte is in the pipe for the next round
                }
                fail("poll");
            }
            if (fds[0].revents != 0) {
                break;
            }
            if (fds[1].revents != 0) {
                readRequests(fds[1].revents);
            }
            if (fds[2].revents != 0 && !handleConsole()) {
                break;
            }
            deliverOutput();
        }
        trace_.write(model_.takeTrace());
        return 0;
    }

private:
    SimTime now() const {
        return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - start_);
    }

    // Until the next reply byte is due, to the microsecond (a paced byte lasts 521 of them);
    // forever while nothing is queued.
    std::optional<timespec> pollTimeout() const {
        const std::optional<SimTime> due = model_.nextOutputTime();
        if (!due) {
            return std::nullopt;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::max(*due - now(), SimTime{0}));
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        return timespec{static_cast<time_t>(seconds.count()),
                        static_cast<long>((wait - seconds).count())};
    }

    void readRequests(short events) {
        std::uint8_t buffer[kReadSize];
        const ssize_t n = ::read(line_.master(), buffer, sizeof buffer);
        if (n > 0) {
            // The speed is read after the bytes: the configurator sets the line before it
            // writes, so this is the speed they were sent at.
            model_.receive(std::span(buffer, static_cast<std::size_t>(n)), line_.lineBaud(), now());
            if (auto image = model_.takeFlashedImage(); image && !options_.firmwareOut.empty()) {
                writeImage(options_.firmwareOut, *image);
            }
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            fail("read " + line_.devicePath());
        } else if ((events & (POLLERR | POLLNVAL)) != 0) {
            throw std::runtime_error("the pseudo-terminal failed");
        }
    }

    // False when the sensor is to end.
    bool handleConsole() {
        for (const std::string& line : console_.readLines()) {
            const ConsoleCommand command = parseConsoleCommand(line);
            switch (command.kind) {
            case ConsoleCommand::Kind::None:
                break;
            case ConsoleCommand::Kind::Level:
                model_.setLevel(static_cast<unsigned>(command.value));
                break;
            case ConsoleCommand::Kind::Temperature:
                model_.setTemperature(static_cast<int>(command.value));
                break;
            case ConsoleCommand::Kind::Silent:
                model_.silence(now(), std::chrono::milliseconds{command.value});
                break;
            case ConsoleCommand::Kind::Quit:
                return false;
            case ConsoleCommand::Kind::Invalid:
                std::cerr << kProgramName << ": " << command.error << std::endl;
                break;
            }
        }
        return true;
    }

    // The trace is written before the bytes go out, so that a client holding a reply finds
    // its request and the reply in the trace.
    void deliverOutput() {
        const ByteString out = model_.takeOutput(now());
        trace_.write(model_.takeTrace());
        if (!out.empty()) {
            writeToLine(out);
        }
    }

    // Like a transmitter on a wire, the sensor does not wait for a listener: what the
    // pseudo-terminal cannot take (nobody has read it for kilobytes) is lost.
    void writeToLine(const ByteString& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(line_.master(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                std::cerr << kProgramName << ": " << bytes.size() - done
                          << " reply bytes lost, nobody reads the port" << std::endl;
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }

    const ProgramOptions& options_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    SignalPipe signals_; // before the link, so that a signal never leaves the link behind
    SensorModel model_;
    PseudoTerminalLine line_;
    PublishedLink link_;
    TraceFile trace_;
    Console console_;
};

int runProgram(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    auto parsed = parseCommandLine(args);
    if (const std::string* error = std::get_if<std::string>(&parsed)) {
        std::cerr << kProgramName << ": " << *error << " (--help lists the options)\n";
        return kExitUsage;
    }
    const ProgramOptions& options = std::get<ProgramOptions>(parsed);
    if (options.help) {
        std::cout << helpText(kProgramName);
        return 0;
    }
    try {
        SensorProgram program(options);
        return program.run();
    } catch (const std::exception& error) {
        std::cerr << kProgramName << ": " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace
} // namespace vorkel::sim

int main(int argc, char** argv) {
    return vorkel::sim::runProgram(argc, argv);
}
