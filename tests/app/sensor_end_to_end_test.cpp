// What the engineer does with a sensor, in the real window against the virtual sensor: watch
// the readings, read the configuration, change it, write it, see the sensor restart with it,
// and find it again at its new bit rate. Real timers and a real pause: each test takes seconds,
// and waits only for what it needs, with generous limits.
#include "support/window_end_to_end.h"

#include <QElapsedTimer>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kSlack{5000}; // a slow (sanitizer) build on busy cores

class SensorEndToEnd : public test::WindowEndToEnd {
protected:
    // The position of the trace's first line that starts with `prefix`, or -1.
    std::ptrdiff_t firstLine(const std::string& prefix) const {
        const auto lines = traceLines();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0) {
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return -1;
    }

    // Clicks a read once the engine is idle, and waits until the record is shown.
    void readConfiguration() {
        ASSERT_TRUE(waitFor([&] { return idle() && ui().readconfButton->isEnabled(); }, kSlack));
        ui().writeconfButton->setEnabled(false);
        ui().readconfButton->click();
        ASSERT_TRUE(waitFor([&] { return ui().writeconfButton->isEnabled(); }, kSlack));
    }
    void writeConfiguration() {
        ASSERT_TRUE(waitFor([&] { return idle(); }, kSlack));
        ui().writeconfButton->click();
    }
};

TEST_F(SensorEndToEnd, theLevelSettlesAndTheTemperatureAppearsEightSecondsAfterAttaching) {
    startSensor({"--wander", "0", "--level", "2048", "--temp", "-10"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    QElapsedTimer sinceAttach;
    sinceAttach.start();
    EXPECT_EQ(ui().tempLabel->text(), ""); // held after the attachment

    // The filter fills its window with three levels, the fourth is stable.
    ASSERT_TRUE(waitFor([&] { return ui().levelpct->text() == "50.00 %"; }, 4s + kSlack));
    EXPECT_EQ(ui().levelRaw->text(), "2048");
    EXPECT_EQ(ui().levelfreq->text(), "1015.00");
    EXPECT_EQ(ui().levelU->text(), "10.00");
    EXPECT_EQ(ui().levelProgressBar->value(), 2048);
    EXPECT_FALSE(ui().stabilityLabel->isHidden());
    EXPECT_EQ(ui().tempLabel->text(), "");

    ASSERT_TRUE(waitFor([&] { return ui().tempLabel->text() == "-10"; }, 8s + kSlack));
    EXPECT_GE(sinceAttach.elapsed(), 7000); // never before the hold is over
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SensorEndToEnd, aConfigurationIsReadChangedWrittenAndReadBackAfterTheRestart) {
    startSensor({"--wander", "0", "--multiplier", "0x85", "--averaging", "40"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));

    readConfiguration();
    EXPECT_EQ(ui().outputmoderadio->itemIndex(), 0);
    EXPECT_EQ(ui().actualrangeLabel->text(), " from 0.00V to 20.00V");
    EXPECT_EQ(ui().addressEdit->text(), "1");
    EXPECT_EQ(ui().tkoeffUpDown->position(), -5);
    EXPECT_EQ(ui().AveragingComboBox->currentText(), "40 s");
    EXPECT_EQ(ui().ProgramVersionLabel->text(), "1.21");
    EXPECT_TRUE(ui().portspeedComboBox->isEnabled());

    ui().outputmoderadio->setItemIndex(1);
    window->configuration().outputmoderadioClick();
    ui().freqoutRadioGroup->setItemIndex(1);
    ui().rangeRadioGroup->setItemIndex(1);
    ui().unizhUpDown->setPosition(2);
    ui().uverhUpDown->setPosition(12);
    ui().addressEdit->setText("17");
    ui().AveragingComboBox->setCurrentIndex(8); // "9 s"
    window->multiplier().setTkoeff(7);

    writeConfiguration();
    ASSERT_TRUE(waitFor([&] { return boxes.informations.size() == 1; }, kSlack));
    EXPECT_EQ(boxes.informations[0].title, "Information");
    // Frequency output with resistor, 30-1020 Hz: mode 0x05; range 0xC2; address 17;
    // multiplier 7; averaging 9.
    const std::ptrdiff_t written = firstLine("rx 31 01 05 C2 11 07 09");
    ASSERT_GE(written, 0);
    ASSERT_TRUE(waitFor([&] { return firstLine("-- restart") > written; }, kSlack));
    EXPECT_EQ(ui().ProgramVersionLabel->text(), "?"); // reset when the write was acknowledged
    EXPECT_EQ(ui().levelpct->text(), "?");
    // The restarted sensor answers the polls again.
    ASSERT_TRUE(waitFor([&] { return !ui().levelRaw->text().isEmpty(); }, 5s + kSlack));

    readConfiguration();
    EXPECT_EQ(ui().outputmoderadio->itemIndex(), 1);
    EXPECT_EQ(ui().freqoutRadioGroup->itemIndex(), 1);
    EXPECT_EQ(ui().rangeRadioGroup->itemIndex(), 1);
    EXPECT_EQ(ui().unizhEdit->text(), "2");
    EXPECT_EQ(ui().uverhEdit->text(), "12");
    EXPECT_EQ(ui().addressEdit->text(), "17");
    EXPECT_EQ(ui().tkoeffUpDown->position(), 7);
    EXPECT_EQ(ui().AveragingComboBox->currentText(), "9 s");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SensorEndToEnd, aSensorSwitchedTo9600IsFoundAgain) {
    startSensor({"--wander", "0"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    readConfiguration();
    ui().portspeedComboBox->setCurrentIndex(1);
    writeConfiguration();
    ASSERT_TRUE(waitFor([&] { return firstLine("rx 31 01 22") >= 0; }, kSlack));
    ASSERT_TRUE(waitFor([&] { return !connected(); }, 10s + kSlack));
    ASSERT_TRUE(waitFor([&] { return connected(); }, 10s + kSlack));
    EXPECT_EQ(window->engine().currentBaud(), 9600u);
    EXPECT_TRUE(boxes.shown.empty());
}

} // namespace
} // namespace vorkel
