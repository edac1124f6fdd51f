// The serial component over real pseudo-terminals: the kernel's tty layer treats the slave
// side as a serial device, the test plays the sensor on the master side.
#include "support/pseudo_terminal.h"
#include "support/test_main_loop.h"
#include "transport/comport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace vorkel {
namespace {

using namespace std::chrono_literals;
using test::PseudoTerminal;
using test::TestMainLoop;

ByteString bytes(std::string_view text) {
    return ByteString(text.begin(), text.end());
}

class ComPortOnPty : public ::testing::Test {
protected:
    TestMainLoop loop;
    PseudoTerminal pty;
    TComPort port{loop.executor()};
    ByteString received;
    std::vector<ByteString> chunks;

    void SetUp() override {
        port.Port = pty.path();
        port.ReceiveCallBack = [this](const ByteString& data) {
            chunks.push_back(data);
            received.insert(received.end(), data.begin(), data.end());
        };
    }

    bool receiveAtLeast(std::size_t count) {
        return loop.runUntil([&] { return received.size() >= count; });
    }
};

TEST_F(ComPortOnPty, openSetsARawEightBitLineWithoutFlowControl) {
    port.Baud = 19200;
    port.ReceiveMode = rmRAW;
    port.Open();
    ASSERT_TRUE(port.isOpen());

    const termios tio = pty.settings();
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(ComPortOnPty, appliesTheLineSettingsAtTheNextOpen) {
    // A pseudo-terminal keeps speed and stop bits but always reads back as CS8 without parity,
    // so parity is checked on the termios rule itself (TermiosLine).
    port.Baud = 9600;
    port.StopBits = snTWO;
    port.Open();
    termios tio = pty.settings();
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);

    port.Baud = 19200; // no effect while open
    port.StopBits = sbONE;
    tio = pty.settings();
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    port.Close();
    port.Open();
    tio = pty.settings();
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
}

TEST_F(ComPortOnPty, rawModeDeliversEveryChunkAsItCame) {
    port.ReceiveMode = rmRAW;
    port.Open();
    pty.send({0x3E, 0x05, 0x34});
    ASSERT_TRUE(receiveAtLeast(3));
    pty.send({0x12, 0x00, 0x56, 0x78, 0x1A});
    ASSERT_TRUE(receiveAtLeast(8));
    EXPECT_EQ(received, (ByteString{0x3E, 0x05, 0x34, 0x12, 0x00, 0x56, 0x78, 0x1A}));
    EXPECT_GE(chunks.size(), 2u);
}

TEST_F(ComPortOnPty, carriesAllByteValuesUnchanged) {
    port.ReceiveMode = rmRAW;
    port.Open();
    ByteString all;
    for (int v = 0; v < 256; ++v) {
        all.push_back(static_cast<std::uint8_t>(v));
    }
    pty.send(all);
    ASSERT_TRUE(receiveAtLeast(all.size()));
    EXPECT_EQ(received, all);

    port.Write(all);
    EXPECT_EQ(pty.receive(all.size()), all);
}

TEST_F(ComPortOnPty, terminatedModeDeliversEachCompleteMessage) {
    port.ReceiveMode = rmTERM; // the default terminator is CR LF
    port.Open();
    pty.send(bytes("AB\r"));
    loop.runUntilQuiet(50ms);
    EXPECT_TRUE(chunks.empty());
    pty.send(bytes("\nCD\r\nE"));
    ASSERT_TRUE(loop.runUntil([&] { return chunks.size() >= 2; }));
    EXPECT_EQ(chunks[0], bytes("AB\r\n"));
    EXPECT_EQ(chunks[1], bytes("CD\r\n")); // not held back until more bytes arrive
    pty.send(bytes("F#"));
    port.setTerminator("#35"); // takes effect for what is still accumulated
    ASSERT_TRUE(loop.runUntil([&] { return chunks.size() >= 3; }));
    EXPECT_EQ(chunks[2], bytes("EF#"));
}

TEST_F(ComPortOnPty, writeSendsTheBytesOnlyWhileOpen) {
    const ByteString poll{0x31, 0x05, 0x04, 0, 0, 0, 0, 0x09};
    port.Write(poll); // closed: ignored
    port.Open();
    port.Write(poll);
    EXPECT_EQ(pty.receive(8), poll);
    port.Close();
    port.Write(poll);
    EXPECT_TRUE(pty.drain().empty());
}

TEST_F(ComPortOnPty, closeAndOpenWorkAnyNumberOfTimes) {
    int opened = 0;
    int closed = 0;
    port.OnPortOpen = [&](TComPort& sender) {
        EXPECT_EQ(&sender, &port);
        ++opened;
    };
    port.OnPortClose = [&](TComPort&) { ++closed; };
    port.ReceiveMode = rmRAW;
    for (int i = 0; i < 40; ++i) {
        port.Open();
        port.Open(); // already open: nothing
        pty.send({static_cast<std::uint8_t>(i)});
        ASSERT_TRUE(receiveAtLeast(static_cast<std::size_t>(i + 1))) << i;
        port.Write(ByteString{static_cast<std::uint8_t>(i)});
        ASSERT_EQ(pty.receive(1), ByteString{static_cast<std::uint8_t>(i)});
        port.Close();
        port.Close(); // already closed: nothing
        port.Write(ByteString{0xEE});
    }
    EXPECT_EQ(opened, 40);
    EXPECT_EQ(closed, 40);
    EXPECT_TRUE(pty.drain().empty());
}

TEST_F(ComPortOnPty, closeDoesNotHangWhileAHandOverIsInFlight) {
    port.ReceiveMode = rmRAW;
    port.Open();
    pty.send({1, 2, 3});
    // The receive thread has handed the event over and waits for the main thread, which is
    // busy elsewhere and now closes the port instead of running the job.
    ASSERT_TRUE(loop.waitForQueued(1));
    port.Close();
    EXPECT_FALSE(port.isOpen());
    loop.runUntilQuiet(20ms); // the stale job runs and must do nothing
    EXPECT_TRUE(received.empty());

    // The device was released: it opens again and works.
    port.Open();
    pty.send({4});
    ASSERT_TRUE(receiveAtLeast(1));
    EXPECT_EQ(received, ByteString{4});
}

TEST_F(ComPortOnPty, aCallbackMayCloseAndReopenThePort) {
    port.ReceiveMode = rmRAW;
    int calls = 0;
    port.ReceiveCallBack = [&](const ByteString& data) {
        received.insert(received.end(), data.begin(), data.end());
        if (++calls == 1) {
            port.Close(); // as a port change made inside a nested event loop would
            port.Open();
        }
    };
    port.Open();
    pty.send({1});
    ASSERT_TRUE(receiveAtLeast(1));
    pty.send({2});
    ASSERT_TRUE(receiveAtLeast(2));
    EXPECT_EQ(received, (ByteString{1, 2}));
    EXPECT_TRUE(port.isOpen());
}

TEST_F(ComPortOnPty, aCallbackMayDestroyThePort) {
    auto owned = std::make_unique<TComPort>(loop.executor());
    owned->Port = pty.path();
    owned->ReceiveMode = rmTERM;
    int calls = 0;
    owned->ReceiveCallBack = [&](const ByteString&) {
        ++calls;
        owned.reset(); // the window is destroyed from inside a nested loop
    };
    owned->Open();
    pty.send(bytes("A\r\nB\r\n")); // two messages in one chunk: the second is not delivered
    ASSERT_TRUE(loop.runUntil([&] { return owned == nullptr; }));
    loop.runUntilQuiet(20ms);
    EXPECT_EQ(calls, 1);
}

TEST_F(ComPortOnPty, aSecondOpenOfTheSameDeviceFails) {
    port.Open();
    TComPort second(loop.executor());
    second.Port = pty.path();
    try {
        second.Open();
        FAIL() << "the device was opened twice";
    } catch (const EComError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("TCOMPORT : cannot open " + pty.path() + "\r", 0),
                  0u)
            << error.what();
    }
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(pty.exclusive());
    port.Close();
    // Free again, also for other users: the far end (a virtual sensor) keeps the device alive,
    // so the exclusive flag would otherwise outlive the close.
    EXPECT_FALSE(pty.exclusive());
    second.Open();
    EXPECT_TRUE(second.isOpen());
}

TEST(ComPort, aMissingDeviceRaisesTheCannotOpenMessage) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    port.Port = "ttyVorkelDoesNotExist";
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EComError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "TCOMPORT : cannot open ttyVorkelDoesNotExist\rNo such file or directory");
    }
    EXPECT_FALSE(port.isOpen());
}

TEST(ComPort, aNameWithoutSlashIsOpenedUnderDev) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    port.Port = "null"; // /dev/null exists, but is no serial device
    try {
        port.Open();
        FAIL() << "opened /dev/null as a serial port";
    } catch (const EComError& error) {
        EXPECT_EQ(std::string(error.what()), "TCOMPORT : cannot open null\rnot a serial device");
    }
}

TEST_F(ComPortOnPty, anUnsupportedBaudRateIsRefused) {
    port.Baud = 12345;
    EXPECT_THROW(port.Open(), EComError);
    EXPECT_FALSE(port.isOpen());
    port.Baud = 9600;
    port.Open(); // the refused open left nothing behind
    EXPECT_TRUE(port.isOpen());
}

TEST_F(ComPortOnPty, aHangUpIsReportedOnceAndThePortStaysUsable) {
    int errors = 0;
    port.OnError = [&](TComPort& sender) {
        ++errors;
        EXPECT_FALSE(sender.lastErrorText().empty()); // says what happened
    };
    port.ReceiveMode = rmRAW;
    port.Open();
    pty.send({7});
    ASSERT_TRUE(receiveAtLeast(1));

    pty.hangUp(); // the adapter is unplugged
    ASSERT_TRUE(loop.runUntil([&] { return errors > 0; }));
    loop.runUntilQuiet(100ms); // a thread spinning on the hang-up would post again and again
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(loop.queued(), 0u);

    port.Write(ByteString{1, 2, 3}); // goes nowhere, and says nothing
    port.Close();
    EXPECT_THROW(port.Open(), EComError); // the device is gone
    EXPECT_FALSE(port.isOpen());
}

TEST_F(ComPortOnPty, aFullOutputQueueIsWaitedForAndTheRestFollows) {
    int errors = 0;
    port.OnError = [&](TComPort&) { ++errors; };
    port.Open();
    // More than the pseudo-terminal buffers: the write meets a full queue, and the far end
    // starts reading only a while later.
    ByteString data(256 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    ByteString arrived;
    std::thread farEnd([&] {
        std::this_thread::sleep_for(100ms);
        arrived = pty.receive(data.size(), 10s);
    });
    port.Write(data);
    farEnd.join();
    EXPECT_EQ(arrived.size(), data.size());
    EXPECT_TRUE(arrived == data);
    loop.runUntilQuiet(50ms);
    EXPECT_EQ(errors, 0);
}

TEST_F(ComPortOnPty, aDeviceThatTakesNothingIsReportedAfterASecond) {
    std::string error;
    port.OnError = [&](TComPort& sender) { error = sender.lastErrorText(); };
    port.Open();
    const auto started = std::chrono::steady_clock::now();
    port.Write(ByteString(256 * 1024, 0x55)); // nobody reads the far end
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 5s); // bounded: the main thread must not hang on a stuck line
    ASSERT_TRUE(loop.runUntil([&] { return !error.empty(); }));
    EXPECT_EQ(error.rfind("cannot write: the device took ", 0), 0u) << error;
    EXPECT_TRUE(port.isOpen());
}

TEST_F(ComPortOnPty, destroyingAnOpenPortReleasesTheDevice) {
    {
        TComPort temporary(loop.executor());
        temporary.Port = pty.path();
        temporary.Open();
    }
    port.Open();
    EXPECT_TRUE(port.isOpen());
}

} // namespace
} // namespace vorkel
