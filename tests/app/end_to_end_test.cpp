// The real window, headless, against the virtual sensor over a pseudo-terminal: real serial
// component, real timers, the sensor in another process. These tests take real seconds (the
// first poll goes out 3 s after the port opens), so they are few and each waits only for what
// it needs.
#include "app/main_form.h"
#include "app/settings_keys.h"
#include "support/qt_fakes.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "ui_TmainForm.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QTest>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kFirstPoll{3000};
constexpr std::chrono::milliseconds kReplyTimeout{2000};
// Beyond what the engine needs, for a slow (sanitizer) build.
constexpr std::chrono::milliseconds kSlack{3000};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

class EndToEnd : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path runtime = dir / "run";
    std::filesystem::path trace = dir / "trace.txt";
    QSettings settings{QString::fromStdString((dir / "Ketrafo.conf").string()),
                       QSettings::IniFormat};
    test::RecordingBoxes boxes;
    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<TmainForm> window;

    void SetUp() override {
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        settings.setValue(settings_key::kPort, "VSENSOR1");
    }

    void TearDown() override {
        window.reset();
        sim.reset();
    }

    void startSensor(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--trace", trace.string(), "--name", "VSENSOR1"});
        sim = std::make_unique<test::SimProcess>(VORKEL_SENSOR_SIM_PATH, options, runtime);
        ASSERT_FALSE(sim->readLine().empty()) << sim->errors();
    }

    void startConfigurator() {
        MainFormEnvironment environment;
        environment.settings = &settings;
        environment.boxes = &boxes;
        environment.logFile = dir / "log.txt";
        environment.translationTable = test::shippedTranslation();
        environment.discoverPorts = [this] {
            return discoverPosixPorts(dir / "no-sysfs", runtime);
        };
        environment.buildIdentifier = "3FA9";
        environment.tickCount = [] {
            return static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
        };
        window = std::make_unique<TmainForm>(std::move(environment));
    }

    bool connected() const {
        return window->windowTitle() == "Configurator 1.8 CRC: 3FA9 | connected VSENSOR1";
    }
    bool notConnected() const {
        return window->windowTitle() == "Configurator 1.8 CRC: 3FA9 | NOT CONNECTED";
    }

    int traceLines(const std::string& prefix) const {
        std::ifstream file(trace);
        int count = 0;
        for (std::string line; std::getline(file, line);) {
            count += line.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
    int polls() const { return traceLines("rx 31 05 04 00 00 00 00 09"); }

    int logCount(const QString& text) const {
        return static_cast<int>(window->ui().logListBox->findItems(text, Qt::MatchExactly).size());
    }
    bool logHas(const QString& prefix) const {
        return !window->ui().logListBox->findItems(prefix, Qt::MatchStartsWith).isEmpty();
    }
};

TEST_F(EndToEnd, attachesWithTheFirstPollAndPollsOnceASecond) {
    startSensor({"--wander", "0", "--level", "1234"});
    startConfigurator();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    EXPECT_GE(clock.elapsed(), kFirstPoll.count() - 100); // not before the first poll is due
    EXPECT_EQ(window->ui().levelRaw->text(), "1234");

    const int atAttach = polls();
    QTest::qWait(3500);
    const int later = polls() - atAttach;
    EXPECT_GE(later, 3);
    EXPECT_LE(later, 4);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EndToEnd, aVersionReadShowsTheVersionsAndLogsTheReply) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    ASSERT_TRUE(
        waitFor([&] { return window->engine().requestState() == request_state::kIdle; }, kSlack));
    window->ReadVersionButtonClick();
    ASSERT_TRUE(
        waitFor([&] { return window->ui().ProgramVersionLabel->text() == "1.21"; }, kSlack));
    EXPECT_EQ(window->ui().BootloaderVersionLabel->text(), "1.3");
    EXPECT_EQ(window->ui().IzmerVersionLabel->text(), "167");
    EXPECT_TRUE(logHas("received:3E 59 15 01 03 01 A7 "));
    EXPECT_TRUE(window->ui().ReadVersionButton->isEnabled());
    EXPECT_EQ(traceLines("rx 31 59 00 00 00 00 00 59"), 1);
}

TEST_F(EndToEnd, findsASensorThatRunsAt9600) {
    startSensor({"--bitrate", "9600"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kReplyTimeout + kSlack));
    EXPECT_EQ(logCount("Sensor response timeout!"), 1); // the poll at 19200 went unheard
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EndToEnd, aSilentSensorIsLostThenFoundAgain) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    sim->type("silent 5000\n");
    ASSERT_TRUE(waitFor([&] { return notConnected(); }, 2 * kReplyTimeout + kSlack));
    ASSERT_TRUE(
        waitFor([&] { return logCount("Sensor response timeout!") >= 2; }, kReplyTimeout + kSlack));
    EXPECT_EQ(window->ui().levelpct->text(), "000"); // the readings of a lost sensor
    ASSERT_TRUE(waitFor([&] { return connected(); }, 3 * kReplyTimeout + kSlack));
    EXPECT_TRUE(boxes.shown.empty()); // a lost sensor is not an error box
}

TEST_F(EndToEnd, chunkedAndNoisyRepliesAreAssembled) {
    startSensor({"--chunked", "--garbage"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    const int first = traceLines("tx ");
    ASSERT_TRUE(waitFor([&] { return traceLines("tx ") >= first + 3; }, 3s + kSlack));
    EXPECT_TRUE(connected());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(logCount("Sensor response timeout!"), 0);
}

TEST_F(EndToEnd, aCorruptedChecksumIsReportedOnce) {
    startSensor({"--corrupt-every", "3"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    ASSERT_TRUE(waitFor([&] { return !boxes.shown.empty(); }, 3s + kSlack));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Error!");
    EXPECT_EQ(boxes.shown[0].text, "Invalid response from sensor\r\nThe checksum does not match");
    EXPECT_TRUE(notConnected());
    // The next reply is taken again.
    ASSERT_TRUE(waitFor([&] { return connected(); }, 1s + kSlack));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(EndToEnd, anUnpluggedSensorIsOneMessageAndChoosingThePortAgainReconnects) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    sim->signal(SIGTERM); // the port disappears with it
    ASSERT_TRUE(sim->waitForExit().has_value());
    ASSERT_TRUE(waitFor([&] { return !boxes.shown.empty(); }, 2 * kReplyTimeout + kSlack));
    EXPECT_TRUE(boxes.shown[0].text.startsWith("TCOMPORT : cannot open "));
    QTest::qWait(static_cast<int>(2 * kReplyTimeout.count()));
    EXPECT_EQ(boxes.shown.size(), 1u); // silent until a port is chosen: no box every 2 s

    startSensor(); // plugged in again, under the same name
    window->engine().comportComboBoxChange();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

} // namespace
} // namespace vorkel
