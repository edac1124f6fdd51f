// The live port list in virtual time: a fake system list, the engine over an in-memory port.
#include "protocol/live_ports.h"
#include "support/engine_fakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace vorkel {
namespace {

using test::FakePort;
using test::VirtualTime;

class FakeSelector : public PortSelectorView {
public:
    explicit FakeSelector(test::FakeView& engineView)
        : engineView_(engineView) {}
    void showPorts(const std::vector<PortEntry>& shown) override {
        names.clear();
        for (const PortEntry& entry : shown) {
            names.push_back(entry.name);
        }
    }
    void selectPort(int index) override { engineView_.selectedIndex = index; }
    int selectedPort() const override { return engineView_.selectedIndex; }

    std::vector<std::string> names;

private:
    test::FakeView& engineView_;
};

class LivePortsTest : public ::testing::Test {
protected:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    VirtualTime::Timer refreshTimer{time};
    FakePort port;
    test::FakeView view;
    FakeSelector selector{view};
    std::vector<std::string> log;
    int boxes = 0;
    std::function<void()> duringBox; // what happens while a box is open (its nested loop)
    bool transferRunning = false;
    int abandoned = 0;
    std::vector<PortEntry> system;
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{test::englishText,
                                         [this](const std::string& line) { log.push_back(line); },
                                         [this](const std::string&) {
                                             ++boxes;
                                             if (auto during = std::exchange(duringBox, nullptr)) {
                                                 during();
                                             }
                                         },
                                         [this] { return time.tickCount(); }}};
    LivePorts ports{engine, selector, refreshTimer,
                    LivePortsServices{[this] { return system; }, [this] { return port.isOpen(); },
                                      [this] { return transferRunning; },
                                      [this] {
                                          ++abandoned;
                                          transferRunning = false;
                                      },
                                      [](std::string_view key) { return std::string(key); },
                                      [this](const std::string& line) { log.push_back(line); }}};

    void SetUp() override {
        for (VirtualTime::Timer* timer : {&mainTimer, &pollTimer, &refreshTimer}) {
            time.add(*timer);
        }
    }
    // The system's ports change and the list settles.
    void change(std::vector<PortEntry> now) {
        system = std::move(now);
        ports.portsMayHaveChanged();
        time.advanceBy(LivePorts::kSettleMs);
    }
    std::string selected() const {
        return view.selectedIndex < 0 ? "" : selector.names.at(std::size_t(view.selectedIndex));
    }
    // The adapter goes: the engine's searching reopen fails (its one box), closing the port.
    void unplugWhileOpen(std::vector<PortEntry> now) {
        change(std::move(now));
        port.failOpen = true;
        engine.comportComboBoxChange(); // reopens the selected port as the time-out does
        port.failOpen = false;
        ports.portClosed();
        time.advanceBy(LivePorts::kSettleMs);
    }
    // The adapter is pulled just before the search's reopen, which fails (its one box) and
    // closes the port: the engine has lost it.
    void loseThroughTheSearch(bool closeNoticeAfter = true) {
        port.failOpen = true;
        time.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs + ExchangeEngine::kReplyTimeoutMs);
        ASSERT_FALSE(port.isOpen());
        if (closeNoticeAfter) {
            ports.portClosed(); // as the serial port says when it closes
        }
    }
};

const PortEntry kS0{"ttyS0", "ttyS0"};
const PortEntry kUsb0{"ttyUSB0", "ttyUSB0", "FT232R USB UART (FTDI)", "usb-FTDI_A5-if00-port0"};
const PortEntry kUsb1AsUsb0{"ttyUSB1", "ttyUSB1", "FT232R USB UART (FTDI)",
                            "usb-FTDI_A5-if00-port0"};
const PortEntry kAcm0{"ttyACM0", "ttyACM0"};
const PortEntry kOtherAsUsb0{"ttyUSB0", "ttyUSB0", "FT232R USB UART (FTDI)",
                             "usb-FTDI_B7-if00-port0"};
const PortEntry kBareUsb0{"ttyUSB0", "ttyUSB0", "USB Serial"};
const PortEntry kBareUsb1{"ttyUSB1", "ttyUSB1", "USB Serial"};
// Two adapters without a serial number: udev points their one by-id link at the newer.
const PortEntry kLinkedUsb0{"ttyUSB0", "ttyUSB0", "USB Serial", "usb-1a86_USB_Serial-if00-port0"};
const PortEntry kLinkedUsb1{"ttyUSB1", "ttyUSB1", "USB Serial", "usb-1a86_USB_Serial-if00-port0"};
const PortEntry kSensorOnPts3{"VSENSOR1", "/run/VSENSOR1", "", "", "/dev/pts/3"};
const PortEntry kSensorOnPts4{"VSENSOR1", "/run/VSENSOR1", "", "", "/dev/pts/4"};

TEST_F(LivePortsTest, entriesComeAndGoInPlaceAndTheSelectionFollowsItsName) {
    system = {kS0, kUsb0};
    ports.start("ttyUSB0");
    engine.start();
    ASSERT_EQ(selected(), "ttyUSB0");
    change({kAcm0, kS0, kUsb0});
    EXPECT_EQ(selector.names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(selected(), "ttyUSB0");
    EXPECT_EQ(port.openings.size(), 1u); // nothing reopened by a list change
    change({kUsb0, kAcm0, kS0}); // another order from the system: the selector keeps its own
    EXPECT_EQ(selector.names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0"}));
    change({kS0, kUsb0});
    EXPECT_EQ(selected(), "ttyUSB0");
    EXPECT_TRUE(log.empty());
}

TEST_F(LivePortsTest, anUnpluggedPortStaysUntilClosedThenComesBackByItself) {
    system = {kS0, kUsb0};
    ports.start("ttyUSB0");
    engine.start();
    change({kS0});
    EXPECT_EQ(selected(), "ttyUSB0") << "open: still selected";
    unplugWhileOpen({kS0});
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(selector.names, std::vector<std::string>{"ttyS0"});
    EXPECT_EQ(selected(), "");
    EXPECT_EQ(ports.portToStore(), "ttyUSB0");

    // Back under another number: the same adapter by its identity.
    change({kS0, kUsb1AsUsb0});
    EXPECT_EQ(selected(), "ttyUSB1");
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.openings.back().path, "ttyUSB1");
    EXPECT_EQ(log, std::vector<std::string>{"rsPortReopened ttyUSB1"});
    EXPECT_TRUE(engine.isSearching());
    time.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs);
    EXPECT_FALSE(port.written.empty()) << "polling again";
    EXPECT_EQ(boxes, 1);

    // Whatever answers may be another sensor: nothing of the window's is written into it
    // before it has been read from it.
    EXPECT_FALSE(view.sensorWrites);
    engine.view().enableCommandControls(true);
    EXPECT_FALSE(view.writeFromFile);
    engine.sensorDataRead(ExchangeEngine::SensorData::Points);
    EXPECT_TRUE(view.writeFromFile);
}

// Which port a lost one comes back as: the same adapter by its identity under any name; one
// without an identity under its name only; never another adapter under the old name.
struct ComebackCase {
    const char* name;
    std::vector<std::vector<PortEntry>> before; // the lists while the port is open
    std::vector<PortEntry> back;
    std::string reopened; // empty: none
    friend void PrintTo(const ComebackCase& c, std::ostream* os) { *os << c.name; }
};

class LivePortsComeback : public LivePortsTest, public ::testing::WithParamInterface<ComebackCase> {};

TEST_P(LivePortsComeback, reopensOnlyTheSameAdapter) {
    const ComebackCase& c = GetParam();
    system = c.before.front();
    ports.start("ttyUSB0");
    engine.start();
    for (const auto& list : c.before) {
        change(list);
    }
    std::vector<PortEntry> rest;
    std::copy_if(c.before.back().begin(), c.before.back().end(), std::back_inserter(rest),
                 [](const PortEntry& entry) { return entry.name != "ttyUSB0"; });
    unplugWhileOpen(rest);
    change(c.back);
    EXPECT_EQ(selected(), c.reopened);
    EXPECT_EQ(port.isOpen(), !c.reopened.empty());
    EXPECT_EQ(port.openings.size(), c.reopened.empty() ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    LivePortsTest, LivePortsComeback,
    ::testing::Values(
        ComebackCase{"byIdentityUnderAnotherName", {{kUsb0}}, {kUsb1AsUsb0}, "ttyUSB1"},
        ComebackCase{"anotherAdapterUnderTheOldName", {{kUsb0}}, {kOtherAsUsb0}, ""},
        ComebackCase{"anAdapterWithoutIdentityUnderTheOldName", {{kUsb0}}, {kBareUsb0}, ""},
        ComebackCase{"withoutIdentityByName", {{kBareUsb0}}, {kBareUsb0}, "ttyUSB0"},
        ComebackCase{"withoutIdentityNeverAsOneWithIt", {{kBareUsb0}}, {kUsb0}, ""},
        // Two adapters without a serial number: their one link goes to the one left.
        ComebackCase{"aSharedLinkIsNoIdentity", {{kLinkedUsb0, kBareUsb1}}, {kLinkedUsb1}, ""}),
    [](const ::testing::TestParamInfo<ComebackCase>& info) { return info.param.name; });

// A plug pulled and put back within the settling time: the list may never see the port go,
// see it come back before the engine's reopen fails, or see it go and come back while the
// failed reopen's box is open, before the engine has called the port lost. Whichever: the
// engine has lost its port and the port is there: it is opened again.
TEST_F(LivePortsTest, aQuickReplugIsReopenedInEveryOrderAgainstTheFailingReopen) {
    enum Order { Unseen, BackBeforeTheReopen, BackDuringTheBox };
    for (const Order order : {Unseen, BackBeforeTheReopen, BackDuringTheBox}) {
        SCOPED_TRACE(order);
        system = {kS0, kUsb0};
        ports.start("ttyUSB0");
        engine.start();
        log.clear();
        if (order == BackBeforeTheReopen) {
            change({kS0});
            change({kS0, kUsb0}); // back, but not yet to be opened when the search tries
        }
        if (order == BackDuringTheBox) {
            duringBox = [this] { // the close's notice settles; gone and back within it
                ports.portClosed();
                port.failOpen = false;
                change({kS0, kUsb0});
            };
        }
        loseThroughTheSearch(order != BackDuringTheBox);
        port.failOpen = false;
        time.advanceBy(LivePorts::kSettleMs);
        EXPECT_EQ(selected(), "ttyUSB0");
        EXPECT_TRUE(port.isOpen());
        EXPECT_EQ(log, (std::vector<std::string>{"Sensor response timeout!", "rsPortReopened ttyUSB0"}));
    }
}

TEST_F(LivePortsTest, theStoredPortIsOpenedWhenItAppearsAfterABusySpell) {
    system = {kS0};
    ports.start("ttyUSB0");
    engine.start();
    EXPECT_FALSE(port.isOpen());
    port.failOpen = true; // held by a modem manager for a while
    change({kS0, kUsb0});
    EXPECT_EQ(selected(), "ttyUSB0");
    EXPECT_FALSE(port.isOpen());
    time.advanceBy(3 * LivePorts::kRetryMs);
    port.failOpen = false;
    time.advanceBy(LivePorts::kRetryMs);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(log, std::vector<std::string>{"rsPortReopened ttyUSB0"});
    EXPECT_EQ(boxes, 0);
}

TEST_F(LivePortsTest, aPortThatStaysBusyIsGivenUpWithOneLogLine) {
    system = {kS0};
    ports.start("ttyUSB0");
    port.failOpen = true;
    change({kS0, kUsb0});
    time.advanceBy(60 * LivePorts::kRetryMs);
    EXPECT_EQ(port.refusals, 15);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("TCOMPORT : cannot open ttyUSB0 ", 0), 0u) << log[0];
    EXPECT_FALSE(ports.isWaiting());
    EXPECT_EQ(boxes, 0);
}

// A firmware update that the loss cut off is said once in the log, also when the engine's
// time-out had already abandoned it, and also when the name stayed but its device changed.
TEST_F(LivePortsTest, aTransferCutOffByTheUnplugIsAbandonedAndNotResumed) {
    const struct {
        std::vector<PortEntry> gone;
        bool runningAtLoss;
    } cases[] = {{{}, true}, {{}, false}, {{kSensorOnPts4}, true}, {{kSensorOnPts4}, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.gone.size() << c.runningAtLoss);
        system = {kSensorOnPts3};
        ports.start("VSENSOR1");
        engine.start();
        transferRunning = true;
        abandoned = 0;
        log.clear();
        change(c.gone);
        transferRunning = c.runningAtLoss;
        loseThroughTheSearch();
        port.failOpen = false;
        change({kSensorOnPts4});
        EXPECT_EQ(abandoned, c.runningAtLoss ? 1 : 0);
        EXPECT_EQ(log, (std::vector<std::string>{"Sensor response timeout!", "rsFlashAbandonedPortLost",
                                                 "rsPortReopened VSENSOR1"}));
        EXPECT_TRUE(port.isOpen());
        EXPECT_FALSE(transferRunning);
        port.close();
    }
}

TEST_F(LivePortsTest, choosingAPortByHandEndsTheWaiting) {
    system = {kS0};
    ports.start("ttyUSB0");
    view.selectedIndex = 0;
    ports.comportComboBoxChange();
    change({kS0, kUsb0});
    EXPECT_EQ(selected(), "ttyS0");
    EXPECT_EQ(port.openings.back().path, "ttyS0");
    EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace vorkel
