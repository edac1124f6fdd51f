// The real window, headless, against the virtual sensor over a pseudo-terminal: real serial
// component, real timers, the sensor in another process. These tests take real seconds (the
// first poll goes out 3 s after the port opens), so they are few and each waits only for what
// it needs.
//
// They run on machines that are busy with other work, so they check the order of events and
// bounds that load cannot break: a lower bound measured from before the timer started (load
// only delays), an upper bound generous enough to hold a time-out or two. Never "within 100 ms".

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
constexpr std::chrono::milliseconds kPollInterval{1000};
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
    QElapsedTimer sinceStart; // started before the window arms its first poll
    sinceStart.start();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return polls() >= 1; }, kFirstPoll + kSlack));
    // Not before it is due (the timers are precise; a millisecond for the clocks' rounding).
    EXPECT_GE(sinceStart.elapsed(), kFirstPoll.count() - 1);
    ASSERT_TRUE(waitFor([&] { return connected(); }, kReplyTimeout + kSlack));
    EXPECT_EQ(window->ui().levelRaw->text(), "1234");

    // Each poll follows the reply to the one before by a second: the sensor takes poll n + 1
    // at least a second after it took poll n (it answers only after taking a poll), so three
    // more polls take at least two seconds from the moment the count was seen, however late
    // anything runs. They keep coming, well within a time-out each.
    const int seen = polls();
    QElapsedTimer sinceSeen;
    sinceSeen.start();
    ASSERT_TRUE(
        waitFor([&] { return polls() >= seen + 3; }, 3 * (kPollInterval + kReplyTimeout) + kSlack));
    EXPECT_GE(sinceSeen.elapsed(), 2 * kPollInterval.count() - 1);
    EXPECT_EQ(logCount("Sensor response timeout!"), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EndToEnd, aVersionReadShowsTheVersionsAndLogsTheReply) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    ASSERT_TRUE(
        waitFor([&] { return window->engine().requestState() == request_state::kIdle; }, kSlack));
    window->liveReadings().ReadVersionButtonClick();
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
    // The time-out that loses the sensor resets the readings in the same step, so they are
    // seen together; the search then runs on until the sensor speaks again.
    ASSERT_TRUE(waitFor([&] { return notConnected(); }, kPollInterval + kReplyTimeout + kSlack));
    EXPECT_EQ(window->ui().levelpct->text(), "000"); // the readings of a lost sensor
    ASSERT_TRUE(waitFor([&] { return connected(); }, 5000ms + 2 * kReplyTimeout + kSlack));
    EXPECT_GE(logCount("Sensor response timeout!"), 2); // lost, then searched for
    EXPECT_TRUE(boxes.shown.empty());                   // a lost sensor is not an error box
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
