// The serial component's event dispatch and terminator text, over a device in memory: modem
// lines and line errors, which no pseudo-terminal can raise, at the moment the test chooses.
#include "support/fake_serial_device.h"
#include "support/test_main_loop.h"
#include "transport/comport.h"

#include <gtest/gtest.h>
#include <string>

namespace vorkel {
namespace {

using namespace std::chrono_literals;
using test::TestMainLoop;

ByteString bytes(std::string_view text) {
    return ByteString(text.begin(), text.end());
}

// Modem lines and line errors, which a pseudo-terminal cannot raise, from a fake device.
class ComPortOnFakeDevice : public ::testing::Test {
protected:
    TestMainLoop loop;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    TComPort port{loop.executor(), line->factory()};
    std::vector<std::string> calls;

    void SetUp() override {
        port.ReceiveMode = rmRAW;
        port.ReceiveCallBack = [this](const ByteString& data) {
            calls.push_back("data:" + std::string(data.begin(), data.end()));
        };
        auto record = [this](const char* name) {
            return [this, name](bool status) {
                calls.push_back(std::string(name) + (status ? ":1" : ":0"));
            };
        };
        port.OnCTSChanged = record("cts");
        port.OnDSRChanged = record("dsr");
        port.OnRLSDChanged = record("rlsd");
        port.OnRingChanged = record("ring");
        port.OnError = [this](TComPort& sender) {
            calls.push_back("error:" + sender.lastErrorText());
        };
    }
};

struct StatusCase {
    const char* name;
    std::uint32_t mask;
    std::uint32_t modemStatus;
    std::vector<std::string> calls;
    friend void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }
};

class StatusDispatch : public ComPortOnFakeDevice,
                       public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusDispatch, callsTheEventsInOrderWithTrueForALineThatIsOff) {
    port.Open();
    line->raise(GetParam().mask, GetParam().modemStatus);
    ASSERT_TRUE(loop.runUntil([&] { return calls.size() >= GetParam().calls.size(); }));
    loop.runUntilQuiet(20ms);
    EXPECT_EQ(calls, GetParam().calls);
}

namespace ev = device_event;
namespace ms = modem_status;
constexpr std::uint32_t kAllLines = ev::kCts | ev::kDsr | ev::kRlsd | ev::kRing;

INSTANTIATE_TEST_SUITE_P(
    ComPort, StatusDispatch,
    ::testing::Values(
        StatusCase{"allOff",
                   kAllLines | ev::kLineError,
                   0,
                   {"cts:1", "dsr:1", "rlsd:1", "ring:1", "error:"}},
        StatusCase{"allOn",
                   kAllLines | ev::kLineError,
                   ms::kCtsOn | ms::kDsrOn | ms::kRingOn | ms::kRlsdOn,
                   {"cts:0", "dsr:0", "rlsd:0", "ring:0", "error:"}},
        StatusCase{"ctsAndCarrierOn",
                   kAllLines,
                   ms::kCtsOn | ms::kRlsdOn,
                   {"cts:0", "dsr:1", "rlsd:0", "ring:1"}},
        StatusCase{"dsrAndRingOn",
                   kAllLines,
                   ms::kDsrOn | ms::kRingOn,
                   {"cts:1", "dsr:0", "rlsd:1", "ring:0"}},
        StatusCase{"onlyTheChangedLine", ev::kDsr, ms::kCtsOn | ms::kDsrOn, {"dsr:0"}},
        StatusCase{"bytesBeforeLines", ev::kCharReceived | ev::kRing, 0, {"data:", "ring:1"}}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST_F(ComPortOnFakeDevice, aLineErrorCarriesTheDevicesTextAndAReopenForgetsIt) {
    port.Open();
    line->raise(ev::kLineError, 0, "cannot write: Input/output error");
    ASSERT_TRUE(loop.runUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls, std::vector<std::string>{"error:cannot write: Input/output error"});
    port.Close();
    port.Open();
    EXPECT_EQ(port.lastErrorText(), "");
}

TEST_F(ComPortOnFakeDevice, aReopenDropsTheUnfinishedMessageOfTheOldConnection) {
    port.ReceiveMode = rmTERM;
    port.Open();
    line->receive(bytes("AB"));
    ASSERT_TRUE(loop.runUntil([&] { return line->waiting() == 0; })); // taken, not delivered
    port.Close();
    port.Open();
    line->receive(bytes("\r\nC"));
    ASSERT_TRUE(loop.runUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls, std::vector<std::string>{"data:\r\n"});
    EXPECT_EQ(line->opened(), 2);
}

struct TerminatorCase {
    const char* name;
    const char* text;
    const char* readBack;
};

class TerminatorText : public ::testing::TestWithParam<TerminatorCase> {};

TEST_P(TerminatorText, isParsedByteByByte) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    port.setTerminator(GetParam().text);
    EXPECT_EQ(port.Terminator(), GetParam().readBack);
}

INSTANTIATE_TEST_SUITE_P(
    ComPort, TerminatorText,
    ::testing::Values(TerminatorCase{"crLf", "#13#10", "#13#10"},
                      TerminatorCase{"oneByte", "#65", "#65"},
                      TerminatorCase{"leadingZero", "#013#10", "#13#10"},
                      TerminatorCase{"firstCharacterDropped", "13#10", "#3#10"},
                      TerminatorCase{"lowEightBits", "#300", "#44"}),
    [](const ::testing::TestParamInfo<TerminatorCase>& info) { return info.param.name; });

TEST(ComPortTerminator, defaultsToCrLf) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    EXPECT_EQ(port.Terminator(), "#13#10");
}

TEST(ComPortTerminator, malformedTextIsRefusedAndLeavesCrLf) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    port.setTerminator("#65");
    try {
        port.setTerminator("#13#x");
        FAIL();
    } catch (const EComError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\r"
                  "example: #13#10");
    }
    EXPECT_EQ(port.Terminator(), "#13#10");
    EXPECT_THROW(port.setTerminator("#13##10"), EComError);
}

TEST(ComPortTerminator, emptyTextIsRefused) {
    TestMainLoop loop;
    TComPort port(loop.executor());
    for (const char* text : {"", "#"}) {
        try {
            port.setTerminator(text);
            FAIL() << text;
        } catch (const EComError& error) {
            EXPECT_EQ(std::string(error.what()), "Terminator string cannot be empty!");
        }
    }
}

} // namespace
} // namespace vorkel
