// The Linux side of the Win32 serial binding's check: a pseudo-terminal that wine maps to COM5,
// and serial_binding_check.exe under wine on the other end. What this side sees is the line:
// its settings (termios) after each open, and the bytes written.
//
// Wine lists a port in HARDWARE\DEVICEMAP\SERIALCOMM, and links it in the prefix's dosdevices,
// from the values of HKLM\Software\Wine\Ports, read once when a session starts; a link made by
// hand is opened but not listed. So the port is entered there and a new session is started.
// Receiving cannot be checked this way (serial_binding_check.cpp says why).
#include "protocol/frame.h"
#include "support/pseudo_terminal.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

// Wine's start-up is slow on a loaded machine; these bound a hang, they do not pace anything.
constexpr auto kWinePatience = std::chrono::seconds(60);

class WineSession {
public:
    // A wine command, quietly; false with its output (wine's message) in `output`.
    bool run(const std::string& arguments, std::string& output) {
        const std::string command = std::string(VORKEL_WINE) + " " + arguments + " >'" + log_ +
                                    "' 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        std::ifstream in(log_);
        std::ostringstream text;
        text << in.rdbuf();
        output = text.str();
        return status == 0;
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
        std::snprintf(digits, sizeof digits, "%02X ", byte);
        text += digits;
    }
    return text;
}

TEST(WineSerialBinding, opensTheMappedPortSetsTheLineWritesAndCloses) {
    ASSERT_NE(std::getenv("WINEPREFIX"), nullptr);
    ASSERT_EQ(std::system("command -v " VORKEL_WINE " >/dev/null"), 0)
        << "wine is missing: install wine and wine64 (./test does)";
    test::PseudoTerminal pty;
    WineSession wine;
    std::string said;
    wine.restart();
    ASSERT_TRUE(wine.run("reg add 'HKLM\\Software\\Wine\\Ports' /v COM5 /d " + pty.path() + " /f",
                         said))
        << said;
    wine.restart();
    // The session starts here, so that its processes hold this command's output, not the
    // program's.
    ASSERT_TRUE(wine.run("cmd /c ver", said)) << said;

    test::TempDir runtime;
    test::SimProcess program("/bin/sh",
                             {"-c", "exec \"$0\" \"$1\" COM5 2>&1", VORKEL_RUN_IN_WINE,
                              VORKEL_SERIAL_BINDING_CHECK},
                             runtime.path());
    std::vector<std::string> lines;
    int lineErrors = 0; // one per open: the event wait that a pseudo-terminal cannot serve
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
    for (int value = 0; value < 256; ++value) {
        expected.push_back(static_cast<std::uint8_t>(value));
    }
    EXPECT_EQ(hexOf(pty.receive(expected.size(), 10s)), hexOf(expected));
    program.type("\n");

    line = next();
    ASSERT_EQ(line.rfind("closed ", 0), 0u) << ::testing::PrintToString(lines);
    EXPECT_LT(std::stoi(line.substr(7)), 2000) << "Close waited for something";
    EXPECT_EQ(program.waitForExit(), 0) << ::testing::PrintToString(lines);
    EXPECT_LE(lineErrors, 2);

    // The next session lists no port that is gone.
    EXPECT_TRUE(wine.run("reg delete 'HKLM\\Software\\Wine\\Ports' /v COM5 /f", said)) << said;
    wine.restart();
}

} // namespace
} // namespace vorkel
