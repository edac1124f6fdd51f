// Attaching, polling, losing and finding the sensor in the real window against the virtual
// sensor. These tests take real seconds (the first poll goes out 3 s after the port opens), so
// they are few and each waits only for what it needs.
//
// They run on machines that are busy with other work, so they check the order of events and
// bounds that load cannot break: a lower bound measured from before the timer started (load
// only delays), an upper bound generous enough to hold a time-out or two. Never "within 100 ms".

#include "support/window_end_to_end.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kPollInterval{1000};
constexpr std::chrono::milliseconds kReplyTimeout{2000};
// Beyond what the engine needs, for a slow (sanitizer) build.
constexpr std::chrono::milliseconds kSlack{3000};

class EndToEnd : public test::WindowEndToEnd {
protected:
    bool notConnected() const {
        return window->windowTitle() == "Configurator 1.8 CRC: 3FA9 | NOT CONNECTED";
    }
    int polls() const { return traceCount("rx 31 05 04 00 00 00 00 09"); }
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
    EXPECT_FALSE(logLines("received:3E 59 15 01 03 01 A7 ").isEmpty());
    EXPECT_TRUE(window->ui().ReadVersionButton->isEnabled());
    EXPECT_EQ(traceCount("rx 31 59 00 00 00 00 00 59"), 1);
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
    const int first = traceCount("tx ");
    ASSERT_TRUE(waitFor([&] { return traceCount("tx ") >= first + 3; }, 3s + kSlack));
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

TEST_F(EndToEnd, aSensorThatComesAndGoesIsFollowedAndReopenedByItself) {
    startConfigurator(); // no sensor yet: no ports
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(ui().comportComboBox->count(), 0);

    startSensor(); // appears, and is the stored port
    ASSERT_TRUE(waitFor([&] { return ui().comportComboBox->count() == 1; }, 2s));
    EXPECT_EQ(ui().comportComboBox->currentText(), "VSENSOR1");
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    EXPECT_EQ(logCount("Port appeared and was opened: VSENSOR1"), 1);

    sim->signal(SIGTERM); // unplugged: the port disappears with it
    ASSERT_TRUE(sim->waitForExit().has_value());
    ASSERT_TRUE(waitFor([&] { return boxes.shown.size() == 2; },
                        kPollInterval + 2 * kReplyTimeout + kSlack));
    EXPECT_TRUE(boxes.shown[1].text.startsWith("TCOMPORT : cannot open "));
    ASSERT_TRUE(waitFor([&] { return ui().comportComboBox->count() == 0; }, kSlack));

    startSensor(); // plugged in again, under the same name
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    EXPECT_EQ(logCount("Port appeared and was opened: VSENSOR1"), 2);
    const int seen = polls();
    ASSERT_TRUE(waitFor([&] { return polls() >= seen + 2; }, 2 * kReplyTimeout + kSlack));
    EXPECT_EQ(boxes.shown.size(), 2u); // the unplug's one box, no other
}

// The adapter pulled while a command waits for its reply, and another sensor plugged in under
// the same name: the window says at once that nothing is connected, and once the port has
// reopened by itself nothing of the first sensor is written into the second, nor reported as
// its points, before it has been read from it.
TEST_F(EndToEnd, aSensorPulledDuringACommandIsNotConnectedAndTheNextIsReadBeforeWritten) {
    startSensor({"--delay-ms", "500", "--empty", "111", "--full", "2222"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    const auto clickWhenIdle = [&](QPushButton* button) {
        ASSERT_TRUE(waitFor([&] { return idle() && button->isEnabled(); }, kSlack));
        button->click();
    };
    const auto points = [&] { return window->calibrationPoints().currentPoints(); };
    QPushButton* const writes[] = {ui().writeconfButton, ui().writeconfButton2,
                                   ui().writetar2Button, ui().writetarButton};
    clickWhenIdle(ui().readconfButton);
    ASSERT_TRUE(waitFor([&] { return ui().writeconfButton->isEnabled(); }, kSlack));
    clickWhenIdle(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return points().has_value(); }, kSlack));
    EXPECT_EQ(points()->full, 2222u);

    clickWhenIdle(ui().ReadVersionButton);
    sim->signal(SIGTERM); // pulled before the reply
    ASSERT_TRUE(sim->waitForExit().has_value());
    ASSERT_TRUE(waitFor([&] { return !boxes.shown.empty(); }, kReplyTimeout + kSlack));
    EXPECT_EQ(boxes.shown[0].text, "No response from sensor!");
    ASSERT_TRUE(waitFor([&] { return notConnected(); }, kSlack)) << window->windowTitle().toStdString();
    EXPECT_EQ(ui().levelRaw->text(), "0000");
    EXPECT_FALSE(points());

    startSensor({"--empty", "5", "--full", "6000"}); // another sensor, under the same name
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    EXPECT_EQ(logCount("Port appeared and was opened: VSENSOR1"), 1);
    for (QPushButton* write : writes) {
        EXPECT_FALSE(write->isEnabled()) << write->objectName().toStdString();
    }
    EXPECT_FALSE(points());
    clickWhenIdle(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return points().has_value(); }, kSlack));
    EXPECT_EQ(points()->full, 6000u);
    EXPECT_TRUE(ui().writetar2Button->isEnabled());
    EXPECT_TRUE(ui().writetarButton->isEnabled());
    EXPECT_FALSE(ui().writeconfButton->isEnabled()) << "the configuration is not read yet";
    clickWhenIdle(ui().readconfButton);
    ASSERT_TRUE(waitFor([&] { return ui().writeconfButton->isEnabled(); }, kSlack));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(EndToEnd, aPortHeldByAnotherProgramNamesIt) {
    startSensor();
    // Another program keeps the port: a child of this one, holding a lock on it.
    const std::string port = (runtime / kVirtualPortsFolder / "VSENSOR1").string();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    std::ifstream comm("/proc/self/comm");
    std::string program;
    std::getline(comm, program);

    startConfigurator();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QString::fromStdString("TCOMPORT : cannot open " + port + "\rVSENSOR1 is in use by " +
                                     program + " (pid " + std::to_string(holder) + ")"));
}

} // namespace
} // namespace vorkel
