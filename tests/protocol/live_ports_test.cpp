// The live port list in virtual time: a fake system list, the engine over an in-memory port.
#include "protocol/live_ports.h"
#include "support/engine_fakes.h"

#include <gtest/gtest.h>

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
    bool transferRunning = false;
    int abandoned = 0;
    std::vector<PortEntry> system;
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{test::englishText,
                                         [this](const std::string& line) { log.push_back(line); },
                                         [this](const std::string&) { ++boxes; },
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
};

const PortEntry kS0{"ttyS0", "ttyS0"};
const PortEntry kUsb0{"ttyUSB0", "ttyUSB0", "FT232R USB UART (FTDI)", "usb-FTDI_A5-if00-port0"};
const PortEntry kUsb1AsUsb0{"ttyUSB1", "ttyUSB1", "FT232R USB UART (FTDI)",
                            "usb-FTDI_A5-if00-port0"};
const PortEntry kAcm0{"ttyACM0", "ttyACM0"};

TEST_F(LivePortsTest, entriesComeAndGoInPlaceAndTheSelectionFollowsItsName) {
    system = {kS0, kUsb0};
    ports.start("ttyUSB0");
    engine.start();
    ASSERT_EQ(selected(), "ttyUSB0");
    change({kAcm0, kS0, kUsb0});
    EXPECT_EQ(selector.names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(selected(), "ttyUSB0");
    EXPECT_EQ(port.openings.size(), 1u); // nothing reopened by a list change
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
    time.advanceBy(LivePorts::kOpenAttempts * LivePorts::kRetryMs);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("TCOMPORT : cannot open ttyUSB0 ", 0), 0u) << log[0];
    EXPECT_FALSE(ports.isWaiting());
    EXPECT_EQ(boxes, 0);
}

TEST_F(LivePortsTest, aTransferCutOffByTheUnplugIsAbandonedAndNotResumed) {
    system = {kUsb0};
    ports.start("ttyUSB0");
    engine.start();
    transferRunning = true;
    unplugWhileOpen({});
    EXPECT_EQ(abandoned, 1);
    EXPECT_EQ(log, std::vector<std::string>{"rsFlashAbandonedPortLost"});
    change({kUsb0});
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(transferRunning);
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
