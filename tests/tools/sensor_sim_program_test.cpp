// The built vorkel-sensor-sim program, end to end: it is started with its runtime folder in a
// temporary folder, and the test talks to it through the pseudo-terminal it publishes, as the
// configurator would.
#include "protocol/frame.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "transport/byte_string.h"
#include "transport/port_discovery.h"
#include "transport/termios_line.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vorkel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Clock;
using test::remainingMs;
using test::SimProcess;
using test::TempDir;

constexpr auto kPatience = test::kSimPatience;
constexpr std::size_t kImageSize = 6144;

// The configurator's side of the line: a raw 8-bit port at a chosen speed.
class SerialClient {
public:
    explicit SerialClient(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + path);
        }
        setBaud(19200);
    }
    ~SerialClient() { ::close(fd_); }
    SerialClient(const SerialClient&) = delete;
    SerialClient& operator=(const SerialClient&) = delete;

    void setBaud(std::uint32_t baud) {
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd_, &tio), 0);
        LineSettings settings;
        settings.baud = baud;
        ASSERT_EQ(applyLineSettings(tio, settings), "");
        ASSERT_EQ(::tcsetattr(fd_, TCSANOW, &tio), 0);
    }

    void send(const Frame& frame) {
        ASSERT_EQ(::write(fd_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    }

    ByteString receive(std::size_t count) {
        ByteString bytes;
        const auto deadline = Clock::now() + kPatience;
        while (bytes.size() < count) {
            pollfd event{fd_, POLLIN, 0};
            if (::poll(&event, 1, remainingMs(deadline)) <= 0) {
                break;
            }
            std::uint8_t buffer[64];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    ByteString ask(const Frame& frame) {
        send(frame);
        return receive(kFrameSize);
    }

private:
    int fd_ = -1;
};

Frame poll() {
    return buildRequest(CommandCode::ReadLevel, std::array<std::uint8_t, 1>{0x04});
}

bool isValidFrame(const ByteString& frame, std::uint8_t start, CommandCode code) {
    return frame.size() == kFrameSize && frame[0] == start && frame[1] == toByte(code) &&
           frameChecksum(std::span<const std::uint8_t, kFrameSize>(frame.data(), kFrameSize)) ==
               frame[7];
}

std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Waits until the trace holds `part`: the trace is the program's record of what it has done,
// the one thing that shows a request it did not answer.
bool traceShows(const fs::path& trace, const std::string& part) {
    const auto deadline = Clock::now() + kPatience;
    while (fileText(trace).find(part) == std::string::npos) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::string hex(const ByteString& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(digits);
    }
    return text;
}

std::size_t countLines(const std::string& text, const std::string& line) {
    std::size_t count = 0;
    for (std::size_t at = text.find(line + "\n"); at != std::string::npos;
         at = text.find(line + "\n", at + 1)) {
        count += (at == 0 || text[at - 1] == '\n') ? 1 : 0;
    }
    return count;
}

TEST(SensorSimProgram, publishesItsPortAnswersAtItsSpeedAndUnpublishesOnSigterm) {
    TempDir dir;
    const fs::path runtime = dir / "run"; // missing: the program creates it
    const fs::path trace = dir / "trace.txt";
    SimProcess sim(VORKEL_SENSOR_SIM_PATH,
                   {"--trace", trace.string(), "--wander", "0", "--level", "1234", "--temp", "-3"},
                   runtime);
    sim.closeInput(); // the end of standard input must not stop it

    const std::string path = sim.readLine();
    const fs::path folder = runtime / kVirtualPortsFolder;
    ASSERT_EQ(path, (folder / "VSENSOR1").string()) << sim.errors();
    EXPECT_TRUE(fs::is_symlink(path));
    struct stat folderInfo {};
    ASSERT_EQ(::stat(folder.c_str(), &folderInfo), 0);
    EXPECT_EQ(folderInfo.st_mode & 0777, 0700u);
    const std::vector<PortEntry> listed = listVirtualPorts(runtime);
    ASSERT_EQ(listed.size(), 1u) << "the configurator's port list finds it";
    EXPECT_EQ(listed[0].path, path);
    EXPECT_EQ(listed[0].device, fs::read_symlink(path).string());

    SerialClient port(path);
    const ByteString answer = port.ask(poll());
    ASSERT_TRUE(isValidFrame(answer, kReplyStart, CommandCode::ReadLevel));
    EXPECT_EQ((answer[3] & 0x0F) << 8 | answer[2], 1234);
    EXPECT_EQ(static_cast<std::int8_t>(answer[4]), -3);

    port.setBaud(9600);
    port.send(poll());
    EXPECT_TRUE(traceShows(trace, "-- ignored 8 bytes at 9600 baud"));
    port.setBaud(19200);
    EXPECT_TRUE(isValidFrame(port.ask(poll()), kReplyStart, CommandCode::ReadLevel));
    EXPECT_EQ(countLines(fileText(trace), "rx 31 05 04 00 00 00 00 09"), 2u);
    EXPECT_EQ(countLines(fileText(trace), "tx " + hex(answer)), 2u) << fileText(trace);

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(SensorSimProgram, outlivesAConfiguratorThatClosesAndReopensThePort) {
    TempDir dir;
    SimProcess sim(VORKEL_SENSOR_SIM_PATH, {}, dir.path());
    const std::string path = sim.readLine();
    ASSERT_FALSE(path.empty()) << sim.errors();
    for (int session = 0; session < 3; ++session) {
        SerialClient port(path);
        EXPECT_TRUE(isValidFrame(port.ask(poll()), kReplyStart, CommandCode::ReadLevel))
            << "session " << session;
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(SensorSimProgram, replacesAStaleLinkButNeverAFile) {
    TempDir dir;
    const fs::path folder = dir / kVirtualPortsFolder;
    fs::create_directories(folder);
    fs::create_symlink(dir / "gone", folder / "VSENSOR1");
    {
        SimProcess sim(VORKEL_SENSOR_SIM_PATH, {}, dir.path());
        const std::string path = sim.readLine();
        ASSERT_EQ(path, (folder / "VSENSOR1").string()) << sim.errors();
        EXPECT_TRUE(fs::read_symlink(path).string().starts_with("/dev/pts/"));
        SerialClient port(path);
        EXPECT_TRUE(isValidFrame(port.ask(poll()), kReplyStart, CommandCode::ReadLevel));
        sim.signal(SIGTERM);
        EXPECT_EQ(sim.waitForExit(), 0);
    }

    std::ofstream(folder / "VSENSOR2") << "someone's file";
    SimProcess refused(VORKEL_SENSOR_SIM_PATH, {"--name", "VSENSOR2"}, dir.path());
    EXPECT_TRUE(refused.waitForError("is not a link")) << refused.errors();
    EXPECT_EQ(refused.waitForExit(), 1);
    EXPECT_EQ(fileText(folder / "VSENSOR2"), "someone's file");
}

TEST(SensorSimProgram, refusesARuntimeFolderOthersCanWriteIntoAndSaysWhy) {
    TempDir dir;
    for (const fs::path& folder : {dir.path(), dir / kVirtualPortsFolder}) {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::all); // 0777: anybody could plant a "sensor" here
        SimProcess sim(VORKEL_SENSOR_SIM_PATH, {}, dir.path());
        EXPECT_TRUE(sim.waitForError(folder.string() + " is writable by group or others"))
            << sim.errors();
        EXPECT_EQ(sim.waitForExit(), 1);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kVirtualPortsFolder / "VSENSOR1")));
        fs::permissions(folder, fs::perms::owner_all);
    }
}

TEST(SensorSimProgram, consoleCommandsSteerTheSensorAndQuitUnpublishes) {
    TempDir dir;
    SimProcess sim(VORKEL_SENSOR_SIM_PATH, {"--wander", "0", "--name", "TANK7"}, dir.path());
    const std::string path = sim.readLine();
    ASSERT_EQ(path, (dir / kVirtualPortsFolder / "TANK7").string()) << sim.errors();

    sim.type("level 1000\ntemp 40\nbogus 1\n");
    EXPECT_TRUE(sim.waitForError("unknown command \"bogus\"")) << sim.errors();
    SerialClient port(path);
    const ByteString answer = port.ask(poll());
    ASSERT_TRUE(isValidFrame(answer, kReplyStart, CommandCode::ReadLevel));
    EXPECT_EQ((answer[3] & 0x0F) << 8 | answer[2], 1000);
    EXPECT_EQ(answer[4], 40);

    sim.type("quit\n");
    EXPECT_EQ(sim.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(SensorSimProgram, aStuckBootLoaderTakesAnImageThroughThePort) {
    TempDir dir;
    const fs::path received = dir / "received.bin";
    SimProcess sim(VORKEL_SENSOR_SIM_PATH, {"--bootloader", "--firmware-out", received.string()},
                   dir.path());
    const std::string path = sim.readLine();
    ASSERT_FALSE(path.empty()) << sim.errors();
    SerialClient port(path);

    EXPECT_TRUE(isValidFrame(port.ask(poll()), kBootloaderStart, CommandCode::ReadLevel));

    std::mt19937 random(17);
    ByteString image(kImageSize);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::size_t address = 0; address < kImageSize; address += 2) {
        const std::array<std::uint8_t, kFrameDataSize> block{
            static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8),
            image[address], image[address + 1], static_cast<std::uint8_t>(random() % 255)};
        const ByteString echo = port.ask(buildRequest(CommandCode::FirmwareBlock, block));
        ASSERT_TRUE(isValidFrame(echo, kBootloaderStart, CommandCode::FirmwareBlock))
            << "block at " << address;
        ASSERT_EQ(echo[4], image[address]);
        ASSERT_EQ(echo[5], image[address + 1]);
    }
    // The image is on disk before the last echo goes out.
    const std::string written = fileText(received);
    EXPECT_EQ(ByteString(written.begin(), written.end()), image);

    sim.signal(SIGINT);
    EXPECT_EQ(sim.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(SensorSimProgram, helpAndBadOptions) {
    TempDir dir;
    SimProcess help(VORKEL_SENSOR_SIM_PATH, {"--help"}, dir.path());
    EXPECT_EQ(help.waitForExit(), 0);
    EXPECT_NE(help.output().find("--firmware-out"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / kVirtualPortsFolder)) << "--help publishes nothing";

    SimProcess wrong(VORKEL_SENSOR_SIM_PATH, {"--drop-every"}, dir.path());
    EXPECT_TRUE(wrong.waitForError("--drop-every needs a value"));
    EXPECT_EQ(wrong.waitForExit(), 2);
}

} // namespace
} // namespace vorkel
