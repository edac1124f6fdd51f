// The Linux side of the Win32 serial binding's check: a pseudo-terminal that wine maps to COM5,
// and serial_binding_check.exe under wine on the other end. What this side sees is the line:
// its settings (termios) after each open, and the bytes written; what it sends is what the
// binding must receive, and its hang-up is the adapter unplugged.
//
// Wine lists a port in HARDWARE\DEVICEMAP\SERIALCOMM, and links it in the prefix's dosdevices,
// from the values of HKLM\Software\Wine\Ports, read once when a session starts; a link made by
// hand is opened but not listed. So the port is entered there and a new session is started.
#include "protocol/frame.h"
#include "support/pseudo_terminal.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

// Wine's start-up is slow on a loaded machine; these bound a hang, they do not pace anything.
constexpr auto kWinePatience = std::chrono::seconds(60);

class WineSession {
public:
    // A wine command, quietly; false with its output (wine's message) in `output`.
    // A command that meets the session's server as it ends (it lingers a moment after its last
    // process, longer on a busy machine) fails with "wine client error" before it has run: that
    // one is run again in a new session.
    bool run(const std::string& arguments, std::string& output) {
        const std::string command =
            std::string(VORKEL_WINE) + " " + arguments + " >'" + log_ + "' 2>&1 </dev/null";
        for (int attempt = 1;; ++attempt) {
            const int status = std::system(command.c_str());
            std::ifstream in(log_);
            std::ostringstream text;
            text << in.rdbuf();
            output = text.str();
            if (status == 0 || attempt == 3 ||
                output.find("wine client error") == std::string::npos) {
                return status == 0;
            }
            restart();
        }
    }
    // Ends the session: the next command starts a new one, which reads the ports again.
    void restart() {
        std::system((std::string(VORKEL_WINESERVER) + " -k >/dev/null 2>&1").c_str());
    }

private:
    test::TempDir dir_;
    std::string log_ = (dir_ / "wine.log").string();
};

std::string hexOf(const ByteString& bytes) {
    std::string text;
    char digits[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

ByteString everyByteValue() {
    ByteString all(256);
    for (int value = 0; value < 256; ++value) {
        all[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(value);
    }
    return all;
}

TEST(WineSerialBinding, opensTheMappedPortSetsTheLineWritesReceivesAndCloses) {
    ASSERT_NE(std::getenv("WINEPREFIX"), nullptr);
    ASSERT_EQ(std::system("command -v " VORKEL_WINE " >/dev/null"), 0)
        << "wine is missing: install wine and wine64 (./test does)";
    test::PseudoTerminal pty;
    WineSession wine;
    std::string said;
    wine.restart();
    ASSERT_TRUE(
        wine.run("reg add 'HKLM\\Software\\Wine\\Ports' /v COM5 /d " + pty.path() + " /f", said))
        << said;
    wine.restart();
    // The session starts here, so that its processes hold this command's output, not the
    // program's.
    ASSERT_TRUE(wine.run("cmd /c ver", said)) << said;

    test::TempDir runtime;
    test::SimProcess program(
        "/bin/sh",
        {"-c", "exec \"$0\" \"$1\" COM5 2>&1", VORKEL_RUN_IN_WINE, VORKEL_SERIAL_BINDING_CHECK},
        runtime.path());
    std::vector<std::string> lines;
    int lineErrors = 0;
    auto next = [&] {
        for (;;) {
            std::string line = program.takeLine(kWinePatience);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
            if (line.rfind("event error ", 0) != 0) {
                return line;
            }
            ++lineErrors;
        }
    };
    // Wine may list ports of its own (COM1 for /dev/ttyS0) before and after ours.
    std::string line = next();
    bool listed = false;
    for (; line.rfind("port ", 0) == 0; line = next()) {
        listed = listed || line == "port COM5";
    }
    EXPECT_TRUE(listed) << ::testing::PrintToString(lines);
    EXPECT_EQ(line.rfind("refused TCOMPORT : cannot open COM250|", 0), 0u) << line;

    for (const speed_t speed : {B19200, B9600}) {
        ASSERT_EQ(next(), speed == B19200 ? "open 19200" : "open 9600")
            << ::testing::PrintToString(lines);
        const termios tio = pty.settings();
        EXPECT_EQ(cfgetospeed(&tio), speed);
        EXPECT_EQ(cfgetispeed(&tio), speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "8N1, no flow control";
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        program.type("\n");
    }

    ASSERT_EQ(next(), "written") << ::testing::PrintToString(lines);
    const Frame poll = buildRequest(CommandCode::ReadLevel, FrameData{4, 0, 0, 0, 0});
    ByteString expected(poll.begin(), poll.end());
    const ByteString all = everyByteValue();
    expected.insert(expected.end(), all.begin(), all.end());
    EXPECT_EQ(hexOf(pty.receive(expected.size(), 10s)), hexOf(expected));
    program.type("\n");

    // Received: a frame in one piece; one in two pieces 150 ms apart, whose first piece must
    // be delivered before the second is sent (a binding that waits for a full buffer fails
    // here); every byte value, unchanged.
    Frame reply = buildRequest(CommandCode::ReadLevel, FrameData{4, 0x34, 0x12, 0x0D, 0x0A});
    reply[frame_offset::kStart] = kReplyStart;
    const ByteString frame(reply.begin(), reply.end());
    const ByteString head(frame.begin(), frame.begin() + 3);
    const ByteString tail(frame.begin() + 3, frame.end());
    for (const std::vector<ByteString>& pieces :
         std::vector<std::vector<ByteString>>{{frame}, {head, tail}, {all}}) {
        std::size_t size = 0;
        for (const ByteString& piece : pieces) {
            size += piece.size();
        }
        program.type(std::to_string(size) + "\n");
        ASSERT_EQ(next(), "ready " + std::to_string(size)) << ::testing::PrintToString(lines);
        std::string sent;
        std::string delivered;
        for (const ByteString& piece : pieces) {
            if (!sent.empty()) {
                std::this_thread::sleep_for(150ms);
            }
            pty.send(piece);
            sent += hexOf(piece);
            while (delivered.size() < sent.size()) {
                line = next();
                ASSERT_EQ(line.rfind("event received ", 0), 0u)
                    << "delivered " << delivered << " of " << sent << "; "
                    << ::testing::PrintToString(lines);
                delivered += line.substr(15);
            }
        }
        EXPECT_EQ(delivered, sent);
    }
    program.type("0\n");

    // Unplugged: one line error that says so, as on Linux.
    ASSERT_EQ(next(), "unplug") << ::testing::PrintToString(lines);
    EXPECT_EQ(lineErrors, 0) << "line errors on a sound line: " << ::testing::PrintToString(lines);
    pty.hangUp();
    program.type("\n");
    EXPECT_EQ(next(), "errors 1") << ::testing::PrintToString(lines);
    EXPECT_EQ(lineErrors, 1);

    line = next();
    ASSERT_EQ(line.rfind("closed ", 0), 0u) << ::testing::PrintToString(lines);
    EXPECT_LT(std::stoi(line.substr(7)), 2000) << "Close waited for something";
    EXPECT_EQ(program.waitForExit(), 0) << ::testing::PrintToString(lines);

    // The next session lists no port that is gone.
    EXPECT_TRUE(wine.run("reg delete 'HKLM\\Software\\Wine\\Ports' /v COM5 /f", said)) << said;
    wine.restart();
}

// A whole firmware update through the Win32 binding under wine, against the virtual sensor on
// COM5, and the same update through the Linux binding: the sensor must end up with the image
// exact both times. The two times are printed side by side, not judged (wine and a busy machine
// vary too much for a bound that means anything).
TEST(WineSerialBinding, updatesTheFirmwareThroughTheMappedPortAsOnLinux) {
    test::TempDir dir;
    // Inside wine's C: drive, by an ASCII name: the folder's name would not survive the trip
    // through a Windows program's narrow command line.
    const std::filesystem::path imageFile =
        std::filesystem::path(std::getenv("WINEPREFIX")) / "drive_c" / "vorkel-fw.bin";
    const std::filesystem::path flashed = dir / "flashed.bin";
    std::filesystem::create_directories(dir / "run");
    ByteString image(6144);
    std::uint32_t seed = 2026;
    for (std::uint8_t& byte : image) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    std::ofstream(imageFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    WineSession wine;

    auto update = [&](bool underWine) -> long {
        std::filesystem::remove(flashed);
        // A boot loader waiting for firmware, restarting into it at once after the update.
        test::SimProcess sim(
            VORKEL_SENSOR_SIM,
            {"--wander=0", "--bootloader", "--restart-ms=0", "--firmware-out=" + flashed.string()},
            dir / "run");
        const std::string pty = sim.readLine();
        std::unique_ptr<test::SimProcess> program;
        if (underWine) {
            std::string said;
            wine.restart();
            EXPECT_TRUE(
                wine.run("reg add 'HKLM\\Software\\Wine\\Ports' /v COM5 /d " + pty + " /f", said))
                << said;
            wine.restart();
            EXPECT_TRUE(wine.run("cmd /c ver", said)) << said;
            program = std::make_unique<test::SimProcess>(
                "/bin/sh",
                std::vector<std::string>{"-c", "exec \"$0\" \"$1\" COM5 C:/vorkel-fw.bin 2>&1",
                                         VORKEL_RUN_IN_WINE, VORKEL_FIRMWARE_UPDATE_CHECK_EXE},
                dir / "run");
        } else {
            program = std::make_unique<test::SimProcess>(
                VORKEL_FIRMWARE_UPDATE_CHECK, std::vector<std::string>{pty, imageFile.string()},
                dir / "run");
        }
        std::string line = program->takeLine(std::chrono::minutes(7));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        EXPECT_EQ(line.rfind("updated ", 0), 0u) << (underWine ? "under wine: " : "") << line;
        EXPECT_EQ(program->waitForExit(), 0);
        for (int i = 0; i < 100 && !std::filesystem::exists(flashed); ++i) {
            std::this_thread::sleep_for(50ms);
        }
        std::ifstream in(flashed, std::ios::binary);
        const ByteString got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_TRUE(got == image) << (underWine ? "under wine" : "on Linux");
        return line.rfind("updated ", 0) == 0 ? std::stol(line.substr(8)) : -1;
    };
    const long linuxMs = update(false);
    const long wineMs = update(true);
    std::cout << "firmware update (3072 exchanges): Linux " << linuxMs << " ms, "
              << 3072000 / std::max(linuxMs, 1L) << " exchanges/s; under wine " << wineMs << " ms, "
              << 3072000 / std::max(wineMs, 1L) << " exchanges/s" << std::endl;

    std::string said;
    EXPECT_TRUE(wine.run("reg delete 'HKLM\\Software\\Wine\\Ports' /v COM5 /f", said)) << said;
    wine.restart();
    std::filesystem::remove(imageFile);
}

} // namespace
} // namespace vorkel
