// The Win32 serial binding on a real COM port: wine maps the port to a pseudo-terminal, and the
// Linux test on the other side (wine_serial_test) checks what the binding did to the line and
// plays the far end. This program reports each step on standard output and, where the other
// side has to act, waits for a line on standard input before it goes on:
//   port <name>          one per entry of the port list (HARDWARE\DEVICEMAP\SERIALCOMM)
//   refused <message>    what opening a port that does not exist raised
//   open <baud>          the port is open at that rate (then waits)
//   written              the bytes went out (then waits)
//   ready <n>            after the other side typed a count n: delivers the next n bytes the
//                        port receives, then waits for the next count ("0" ends this step)
//   unplug               waits while the other side hangs up the line
//   errors <n>           the line errors raised within 2 s of the hang-up
//   closed <ms>          how long Close took
//   event <what>         a callback of the component: "received <hex>" (one per chunk
//                        delivered), "error <text>" (a line error)
//   failed <message>     an EComError that the step did not expect; the exit status is 1
//
// Not checked here: the exclusive open (wine lets a second handle open the same port, which
// Windows does not), and modem-line events (wine's WaitCommEvent asks a pseudo-terminal for its
// modem status, which it lacks; the binding then receives without them).
#include "protocol/frame.h"
#include "protocol/sensor_wiring.h"
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

std::string hexOf(const ByteString& bytes) {
    std::string text;
    char digits[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
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
    setSensorLineSettings(port);
    port.Port = comPortPath(name);
    std::size_t received = 0;
    int errors = 0;
    port.ReceiveCallBack = [&](const ByteString& data) {
        received += data.size();
        say("event received " + hexOf(data));
    };
    port.OnError = [&](TComPort& sender) {
        ++errors;
        say("event error " + sender.lastErrorText());
    };
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
        for (std::string count; std::getline(std::cin, count) && count != "0";) {
            received = 0;
            const std::size_t expected = std::stoul(count);
            say("ready " + count);
            loop.runUntil([&] { return received >= expected; }, std::chrono::seconds(20));
        }

        // The line goes away, as it does when the adapter is unplugged.
        say("unplug");
        if (!goOn()) {
            return 1;
        }
        errors = 0;
        loop.runUntil([&] { return errors > 0; }, std::chrono::seconds(20));
        loop.runUntilQuiet(std::chrono::seconds(2));
        say("errors " + std::to_string(errors));

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
