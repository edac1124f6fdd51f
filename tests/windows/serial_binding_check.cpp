// The Win32 serial binding on a real COM port: wine maps the port to a pseudo-terminal, and the
// Linux test on the other side (wine_serial_test) checks what the binding did to the line.
// This program reports each step on standard output and, where the other side has to look,
// waits for a line on standard input before it goes on:
//   port <name>          one per entry of the port list (HARDWARE\DEVICEMAP\SERIALCOMM)
//   refused <message>    what opening a port that does not exist raised
//   open <baud>          the port is open at that rate (then waits)
//   written              the bytes went out (then waits)
//   closed <ms>          how long Close took
//   event <what>         a callback of the component (received bytes, a line error)
//   failed <message>     an EComError that the step did not expect; the exit status is 1
//
// What is not checked here: receiving. Wine learns of received bytes from the serial driver's
// interrupt counters (TIOCGICOUNT), which a pseudo-terminal does not have, so on such a port
// WaitCommEvent fails ("Request not supported"); the binding reports that once per open as a
// line error, as it would an unplugged adapter. The receive direction is covered by the Linux
// tests and the fake device, not faked here. Nor is the exclusive open checked: wine lets a
// second handle open the same port, which Windows does not.
#include "protocol/frame.h"
#include "support/test_main_loop.h"
#include "transport/comport.h"
#include "transport/port_discovery.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

using namespace vorkel;

void say(const std::string& line) {
    std::cout << line << std::endl;
}

// The other side has looked at the line.
bool goOn() {
    std::string line;
    return static_cast<bool>(std::getline(std::cin, line));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: serial_binding_check COMn\n";
        return 2;
    }
    const std::string name = argv[1];
    for (const std::string& port : listComPorts()) {
        say("port " + port);
    }

    test::TestMainLoop loop;
    try {
        TComPort missing(loop.executor());
        missing.Port = "COM250";
        missing.Open();
        say("failed COM250 opened");
        return 1;
    } catch (const EComError& error) {
        std::string message = error.what();
        for (char& c : message) {
            c = c == '\r' ? '|' : c;
        }
        say("refused " + message);
    }

    // As the main window sets it up.
    TComPort port(loop.executor());
    port.DataBits = 8;
    port.StopBits = sbONE;
    port.Parity = ptNONE;
    port.ReceiveMode = rmRAW;
    port.WinQSizeIn = 16;
    port.WinQSizeOut = 16;
    port.Port = comPortPath(name);
    port.ReceiveCallBack = [](const ByteString& data) {
        say("event received " + std::to_string(data.size()));
    };
    port.OnError = [](TComPort& sender) { say("event error " + sender.lastErrorText()); };
    try {
        for (const std::uint32_t baud : {19200u, 9600u}) {
            port.Close();
            port.Baud = baud;
            port.Open();
            loop.runUntilQuiet(std::chrono::milliseconds(200));
            say("open " + std::to_string(baud));
            if (!goOn()) {
                return 1;
            }
        }
        // A level poll, then every byte value: the line must pass them unchanged (no CR LF
        // translation, no XON/XOFF).
        const Frame poll = buildRequest(CommandCode::ReadLevel, FrameData{4, 0, 0, 0, 0});
        port.Write(ByteString(poll.begin(), poll.end()));
        ByteString all(256);
        for (int value = 0; value < 256; ++value) {
            all[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(value);
        }
        port.Write(all);
        loop.runUntilQuiet(std::chrono::milliseconds(200));
        say("written");
        if (!goOn()) {
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        port.Close();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        say("closed " + std::to_string(took.count()));
    } catch (const EComError& error) {
        say(std::string("failed ") + error.what());
        return 1;
    }
    return 0;
}
