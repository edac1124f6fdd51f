#include "support/pseudo_terminal.h"
#include "transport/termios_line.h"

#include <gtest/gtest.h>
#include <linux/serial.h>
#include <memory>

namespace vorkel {
namespace {

struct LineCase {
    const char* name;
    LineSettings settings;
    tcflag_t set;   // c_cflag bits that must be on
    tcflag_t clear; // c_cflag bits that must be off
    speed_t speed;
};

class TermiosLine : public ::testing::TestWithParam<LineCase> {};

// Starts from a cooked, flow-controlled terminal so that everything the rule must undo is on.
termios cookedTerminal() {
    termios tio{};
    tio.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | BRKINT;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
    tio.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    return tio;
}

TEST_P(TermiosLine, makesARawLine) {
    termios tio = cookedTerminal();
    ASSERT_EQ(applyLineSettings(tio, GetParam().settings), "");
    EXPECT_EQ(tio.c_cflag & GetParam().set, GetParam().set);
    EXPECT_EQ(tio.c_cflag & GetParam().clear, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(cfgetispeed(&tio), GetParam().speed);
    EXPECT_EQ(cfgetospeed(&tio), GetParam().speed);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TermiosLine,
    ::testing::Values(
        LineCase{"sensor19200", {19200, 8, ptNONE, sbONE, 16, 16}, CS8, PARENB | CSTOPB, B19200},
        LineCase{"sensor9600", {9600, 8, ptNONE, sbONE, 16, 16}, CS8, PARENB | CSTOPB, B9600},
        LineCase{"even", {9600, 8, ptEVEN, sbONE, 0, 0}, CS8 | PARENB, PARODD | CMSPAR, B9600},
        LineCase{"odd", {9600, 8, ptODD, sbONE, 0, 0}, PARENB | PARODD, CMSPAR, B9600},
        LineCase{"mark", {9600, 8, ptMARK, sbONE, 0, 0}, PARENB | PARODD | CMSPAR, 0, B9600},
        LineCase{"space", {9600, 8, ptSPACE, sbONE, 0, 0}, PARENB | CMSPAR, PARODD, B9600},
        LineCase{"twoStopBits", {115200, 8, ptNONE, snTWO, 0, 0}, CS8 | CSTOPB, PARENB, B115200},
        LineCase{"sevenBits", {4800, 7, ptNONE, sbONE, 0, 0}, CS7, PARENB, B4800}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(TermiosLineRefuses, aBaudRateTheSystemHasNoSpeedFor) {
    termios tio = cookedTerminal();
    EXPECT_EQ(applyLineSettings(tio, LineSettings{12345}), "baud rate 12345 is not supported");
}

struct LowLatencyCase {
    const char* name;
    bool getWorks;
    int flagsBefore;
    bool setWorks;
    bool on;
    int flagsWhileOpen;
    int sets; // calls of set, open and close together
};

class LowLatency : public ::testing::TestWithParam<LowLatencyCase> {};

// The mode is asked for at open and undone at close: a USB adapter keeps its serial flags
// until it is replugged, and the FTDI driver its 1 ms latency timer with them.
TEST_P(LowLatency, isOnWhileOpenAndTheFlagsAreAsFoundAfterTheClose) {
    const LowLatencyCase& c = GetParam();
    int flags = c.flagsBefore;
    int sets = 0;
    const SerialFlagsAccess access{[&](int& value) {
                                       value = flags;
                                       return c.getWorks;
                                   },
                                   [&](int value) {
                                       ++sets;
                                       if (c.setWorks) {
                                           flags = value;
                                       }
                                       return c.setWorks;
                                   }};
    {
        LowLatencyMode mode(access);
        EXPECT_EQ(mode.on(), c.on);
        EXPECT_EQ(flags, c.flagsWhileOpen);
        mode.restore();
        EXPECT_EQ(flags, c.flagsBefore);
    } // restored once only
    EXPECT_EQ(sets, c.sets);
}

INSTANTIATE_TEST_SUITE_P(
    TermiosLine, LowLatency,
    ::testing::Values(
        // A USB adapter: the other flags are kept.
        LowLatencyCase{"adapter", true, 0x40, true, true, 0x40 | ASYNC_LOW_LATENCY, 2},
        // Someone else's choice stays.
        LowLatencyCase{"alreadyOn", true, ASYNC_LOW_LATENCY, true, true, ASYNC_LOW_LATENCY, 0},
        // A pseudo-terminal has no serial flags; a driver may refuse to change them.
        LowLatencyCase{"noSerialFlags", false, 0, true, false, 0, 0},
        LowLatencyCase{"refused", true, 0, false, false, 0, 1}),
    [](const ::testing::TestParamInfo<LowLatencyCase>& info) { return info.param.name; });

TEST(TermiosLine, aPseudoTerminalOpensWithoutLowLatency) {
    test::PseudoTerminal pty;
    const std::unique_ptr<SerialDevice> device = SerialDevice::open(pty.path());
    EXPECT_FALSE(device->lowLatency());
}

} // namespace
} // namespace vorkel
