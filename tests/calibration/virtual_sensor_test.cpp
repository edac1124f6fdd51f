// The calibration flows against the virtual sensor, in virtual time: what the sensor ends up
// holding, not only which frames went out.
#include "calibration_fixture.h"
#include "sim/sensor_model.h"
#include "support/temp_dir.h"

namespace vorkel {
namespace {

using namespace test;
using namespace std::chrono_literals;

// The line between the engine and the model: a frame written is on the sensor's receiver now.
class SimLine : public SensorPort {
public:
    SimLine(sim::SensorModel& model, VirtualTime& time)
        : model_(model)
        , time_(time) {}
    void setPort(const std::string&) override {}
    void setBaud(std::uint32_t baud) override { baud_ = baud; }
    void open() override {}
    void close() override {}
    void write(std::span<const std::uint8_t> bytes) override {
        model_.receive(bytes, baud_, std::chrono::milliseconds{time_.now()});
    }

private:
    sim::SensorModel& model_;
    VirtualTime& time_;
    std::uint32_t baud_ = 0;
};

sim::SimOptions steadySensor() {
    sim::SimOptions options;
    options.wander = 0;
    return options;
}

class CalibrationWithSensor : public ::testing::Test {
protected:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    sim::SensorModel sensor{steadySensor(), std::chrono::milliseconds{time.now()}};
    SimLine line{sensor, time};
    FakeView view;
    std::vector<std::string> engineBoxes;
    ExchangeEngine engine{mainTimer, pollTimer, line, view,
                          EngineServices{englishText, [](const std::string&) {},
                                         [this](const std::string& t) { engineBoxes.push_back(t); },
                                         [this] { return time.tickCount(); }}};
    ExchangeEndingOwner ending{engine};
    RecordingPointsView pointsView;
    Dialogs dialogs;
    CalibrationPoints points{engine, pointsView, dialogs.services()};
    CalibrationBackup backup{engine, points, pointsView, dialogs.services()};
    TempDir dir;

    void SetUp() override {
        time.add(mainTimer);
        time.add(pollTimer);
        ownCalibrationReplies(engine, ending, points, backup);
        engine.setPortList({{"VSENSOR1", "VSENSOR1"}});
        engine.start();
        run(4000);
        ASSERT_TRUE(engine.isAttached());
    }

    // Runs the clock a millisecond at a time, handing the sensor's output to the engine.
    void run(int milliseconds) {
        for (int i = 0; i < milliseconds; ++i) {
            time.advanceBy(1);
            const ByteString out = sensor.takeOutput(std::chrono::milliseconds{time.now()});
            if (!out.empty()) {
                engine.ReceiveData(out);
            }
        }
    }
};

TEST_F(CalibrationWithSensor, calibratingShowsThePointsTheSensorTook) {
    sensor.setLevel(300);
    const std::uint32_t low = sensor.measurement();
    points.tar0ButtonClick();
    run(200);
    sensor.setLevel(3800);
    const std::uint32_t high = sensor.measurement();
    points.tarmaxButtonClick();
    run(200);

    EXPECT_EQ(sensor.calibration(), (sim::CalibrationPoints{low, high}));
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], std::to_string(low));
    EXPECT_EQ(pointsView.texts[TankPoint::Full], std::to_string(high));
    EXPECT_TRUE(pointsView.calibrateButtons);
    EXPECT_TRUE(engineBoxes.empty()); // every read-back was answered
}

TEST_F(CalibrationWithSensor, pointsWrittenAndRestoredFromABackup) {
    points.readtar2ButtonClick();
    run(200);
    EXPECT_EQ(pointsView.texts[TankPoint::Full], "65535");

    dialogs.backupPaths = {dir / "cal"};
    backup.readtarButtonClick();
    run(200);

    pointsView.texts = {{TankPoint::Empty, "1000"}, {TankPoint::Full, "$FFFFF"}};
    points.writetar2ButtonClick();
    run(200);
    EXPECT_EQ(sensor.calibration(), (sim::CalibrationPoints{1000, 1048575}));
    EXPECT_EQ(dialogs.informations.size(), 1u);

    run(5000); // the sensor restarts
    dialogs.backupPaths = {dir / "cal"};
    backup.writetarButtonClick();
    run(200);
    EXPECT_EQ(sensor.calibration(), (sim::CalibrationPoints{0, 65535}));
    EXPECT_EQ(dialogs.informations.size(), 2u);
    EXPECT_TRUE(dialogs.warnings.empty());
    EXPECT_TRUE(engineBoxes.empty());
}

} // namespace
} // namespace vorkel
