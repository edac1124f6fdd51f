#include "soak.h"

#include "calibration/calibration_fixture.h"
#include "calibration/calibration_points.h"
#include "calibration/calibration_record.h"
#include "firmware/firmware_transfer.h"
#include "protocol/live_ports.h"
#include "sensor/configuration_record.h"
#include "sensor/sensor_fixture.h"
#include "sim/sensor_model.h"
#include "support/engine_fakes.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>

namespace vorkel::soak {
namespace {

namespace rs = request_state;
using test::VirtualTime;

// How long after the last fault a healthy sensor must be attached again: the first poll 3 s
// after the reopen, a search step (2 s time-out) at the wrong bit rate, the reopen at the other
// one and its first poll, the port list's settling and a restart pause, with room to spare.
constexpr std::uint64_t kAttachBoundMs = 20000;
// How long a sensor that stopped answering may still be shown as connected: a poll's delay
// and its time-out, an unanswered command's retransmission and its time-out.
constexpr std::uint64_t kDetachBoundMs = 12000;
// A firmware update that runs when the faults stop is let finish (3072 blocks).
constexpr std::uint64_t kTransferBoundMs = 90000;
constexpr int kMaxNesting = 6;

const PortEntry kOtherPort{"ttyS0", "/dev/ttyS0", "", ""};
constexpr const char* kAdapterIdentity = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

std::string adapterName(int number) {
    return "ttyUSB" + std::to_string(number);
}

// The port selector: what LivePorts shows, the selection in the engine's view.
class Selector : public PortSelectorView {
public:
    explicit Selector(test::FakeView& engineView)
        : engineView_(engineView) {}
    void showPorts(const std::vector<PortEntry>& entries) override { shown = entries; }
    void selectPort(int index) override {
        engineView_.selectedIndex = index;
        engineView_.selectedText =
            index >= 0 && static_cast<std::size_t>(index) < shown.size() ? shown[index].name : "";
    }
    int selectedPort() const override { return engineView_.selectedIndex; }

    std::vector<PortEntry> shown;

private:
    test::FakeView& engineView_;
};

// writeconfButton and writeconfButton2, which the configuration's view switches as well.
class FirmwareControls : public FirmwareView {
public:
    explicit FirmwareControls(test::RecordingConfigurationView& configuration)
        : configuration_(configuration) {}
    void showFirmwarePath(const std::filesystem::path&) override {}
    void enableConfigurationWrite(bool enabled) override {
        configuration_.enableWriteButtons(enabled);
    }
    void showProgressBar() override {}
    void setProgress(std::uint32_t) override {}

private:
    test::RecordingConfigurationView& configuration_;
};

struct Violation {
    std::string what;
};

class Soak {
public:
    explicit Soak(const SoakOptions& options);
    SoakResult run();

private:
    // ---- the adapter between the engine and the sensor ----------------------------------
    class Adapter : public SensorPort {
    public:
        explicit Adapter(Soak& soak)
            : soak_(soak) {}
        void setPort(const std::string& path) override { path_ = path; }
        void setBaud(std::uint32_t baud) override { baud_ = baud; }
        void open() override {
            if (!soak_.portPresent(path_)) {
                soak_.note("open " + path_ + " failed");
                throw EComError("TCOMPORT : cannot open " + path_ + "\rNo such file or directory");
            }
            open_ = true;
            dead_ = false;
            openPath_ = path_;
            soak_.note("opened " + path_ + " at " + std::to_string(baud_) + " baud");
            soak_.requestEnded();
        }
        void close() override {
            if (!open_) {
                return;
            }
            open_ = false;
            soak_.note("closed");
            soak_.requestEnded();
            soak_.live_.portClosed(); // TComPort's OnPortClose
        }
        void write(std::span<const std::uint8_t> bytes) override {
            if (open_) { // TComPort drops what is written to it while closed
                soak_.written(bytes, baud_);
            }
        }

        // Bytes reach the sensor, and its replies the engine, through this open handle.
        bool reachesSensor() const {
            return open_ && !dead_ && soak_.plugged_ && openPath_ == soak_.adapterPath();
        }

        bool open_ = false;
        bool dead_ = false; // the adapter was pulled while open: the handle stays useless
        std::string path_;
        std::string openPath_;
        std::uint32_t baud_ = 0;

    private:
        Soak& soak_;
    };

    struct Delivery {
        std::uint64_t at;
        ByteString bytes;
        bool late;
    };

    // ---- the loop ----------------------------------------------------------------------
    void runFor(std::uint64_t milliseconds);
    std::uint64_t nextEventTime(std::uint64_t end) const;
    void pumpSensor();
    void deliverDue();
    void act();
    void checkAlways();
    void checkpoint();
    void settleFor(std::uint64_t milliseconds);

    // ---- faults and clicks ---------------------------------------------------------------
    void lineFaults(const ByteString& frame);
    void queue(std::uint64_t at, ByteString bytes, bool late = false);
    void click();
    void pull();
    void plug();
    void restartSensor(std::optional<std::uint8_t> mode);
    void box(std::uint64_t longest);
    std::string exchangeContext() const;

    // ---- the adapter's side ---------------------------------------------------------------
    bool portPresent(const std::string& path) const {
        return path == kOtherPort.path || (plugged_ && path == adapterPath());
    }
    std::string adapterPath() const { return "/dev/" + adapterName(adapterNumber_); }
    std::vector<PortEntry> systemPorts() const;
    void written(std::span<const std::uint8_t> bytes, std::uint32_t baud);
    void requestEnded() { unanswered_ = false; }
    void firmwareLogLine(const std::string& line);

    // ---- bookkeeping ---------------------------------------------------------------------
    void note(const std::string& text);
    void count(const std::string& kind) { ++result_.faults[kind]; }
    [[noreturn]] void fail(const std::string& what);
    std::uint64_t random(std::uint64_t low, std::uint64_t high) {
        return std::uniform_int_distribution<std::uint64_t>(low, high)(random_);
    }
    bool chance(double probability) {
        return std::bernoulli_distribution(probability)(random_);
    }
    sim::SimTime simNow() const { return std::chrono::milliseconds{time_.now()}; }
    bool captionConnected() const {
        return engineView_.caption.find("| connected") != std::string::npos;
    }

    SoakOptions options_;
    SoakResult result_;
    std::mt19937_64 random_;

    VirtualTime time_;
    VirtualTime::Timer mainTimer_{time_};
    VirtualTime::Timer pollTimer_{time_};
    VirtualTime::Timer refreshTimer_{time_};

    // The sensor and the adapter in front of it.
    std::unique_ptr<sim::SensorModel> sensor_;
    bool plugged_ = true;
    int adapterNumber_ = 0;
    std::optional<std::uint64_t> plugAt_;
    std::deque<Delivery> line_;

    // The window.
    Adapter port_{*this};
    test::FakeView engineView_;
    Selector selector_{engineView_};
    test::RecordingReadingsView readingsView_;
    test::RecordingConfigurationView configurationView_;
    test::RecordingMultiplierView multiplierView_;
    test::RecordingPointsView pointsView_;
    FirmwareControls firmwareView_{configurationView_};
    test::TempDir folder_;
    std::filesystem::path imagePath_ = folder_ / "image.bin";
    ByteString image_;

    ExchangeEngine engine_;
    ExchangeEndingOwner ending_{engine_};
    MultiplierFlow multiplier_;
    LiveReadings readings_;
    SensorConfiguration configuration_;
    CalibrationPoints points_;
    FirmwareTransfer firmware_;
    LivePorts live_;

    // What the soak checks against.
    bool unanswered_ = false;
    std::uint64_t framesAtWrite_ = 0;
    std::set<FrameData> allowedConfigurations_;
    std::set<std::uint32_t> allowedEmpty_, allowedFull_;
    bool firmwareAsked_ = false;
    std::optional<ByteString> flashedSinceStart_;
    int depth_ = 0;
    int boxDepth_ = 0;
    bool settling_ = false;
    std::uint64_t nextAction_ = 0;
    std::uint64_t lastWriteAt_ = 0;
};

Soak::Soak(const SoakOptions& options)
    : options_(options)
    , random_(options.seed)
    , engine_(mainTimer_, pollTimer_, port_, engineView_,
              EngineServices{test::sensorText, [](const std::string&) {},
                             [this](const std::string&) { box(4000); },
                             [this] { return time_.tickCount(); }})
    , multiplier_(multiplierView_,
                  MultiplierServices{test::sensorText, [] { return std::optional<double>{}; },
                                     [this](const std::string&) { box(2000); }})
    , readings_(engine_, readingsView_,
                ReadingsServices{[this] { return time_.tickCount(); },
                                 [this] { return configuration_.fullScale(); },
                                 [this] { return configuration_.frequencySpan(); },
                                 [this] { return configuration_.updateRangeCaption(); },
                                 {}})
    , configuration_(engine_, configurationView_, readings_, multiplier_,
                     ConfigurationServices{test::sensorText,
                                           [this](const std::string&) { box(3000); },
                                           [this](const std::string&, const std::string&) {
                                               box(1000); // closes itself after a second
                                           },
                                           [this] { return time_.tickCount(); },
                                           [this](std::uint32_t ms) { runFor(ms); }})
    , points_(engine_, pointsView_, [this] {
        CalibrationServices services;
        services.translate = test::calibrationText;
        services.showErrorBox = [this](const std::string&) { box(3000); };
        services.showWarningBox = [this](const std::string&) { box(3000); };
        services.confirm = [this](const std::string&, const std::string&) {
            box(2000);
            return chance(0.5);
        };
        services.showSelfClosingInformation = [this](const std::string&, const std::string&) {
            box(1000);
        };
        return services;
    }())
    , firmware_(engine_, firmwareView_,
                FirmwareServices{test::sensorText,
                                 [this](const std::string& line) { firmwareLogLine(line); },
                                 [this](const std::string&) { box(3000); },
                                 [this](const std::string&) { box(3000); },
                                 [this] { return std::optional{imagePath_}; },
                                 fillerSource(static_cast<std::uint32_t>(options.seed))})
    , live_(engine_, selector_, refreshTimer_,
            LivePortsServices{[this] { return systemPorts(); }, [this] { return port_.open_; },
                              [this] { return firmware_.phase() != FirmwareTransfer::Phase::Idle; },
                              [this] {
                                  firmware_.abandon();
                                  engineView_.enableCommandControls(true);
                                  engine_.enableStartFlash(true);
                              },
                              test::sensorText, [](const std::string&) {}}) {
    result_.seed = options.seed;
    for (VirtualTime::Timer* timer : {&mainTimer_, &pollTimer_, &refreshTimer_}) {
        time_.add(*timer);
    }
    // A time-out ends the outstanding request (its handler may send the next one).
    mainTimer_.setHandler([this] {
        note("reply time-out");
        requestEnded();
        engine_.mainTimerTimer();
    });
    for (const CommandCode code : {CommandCode::CalibrateEmpty, CommandCode::CalibrateFull,
                                   CommandCode::WriteCalibration, CommandCode::ReadCalibration}) {
        engine_.setReplyOwner(code, &points_);
    }
    engine_.setReplyOwner(CommandCode::ReadVersion, &readings_);
    engine_.setReplyOwner(CommandCode::ReadLevel, &readings_);
    engine_.setReplyOwner(CommandCode::WriteConfiguration, &configuration_);
    engine_.setReplyOwner(CommandCode::ReadConfiguration, &configuration_);

    sim::SimOptions sensorOptions;
    sensorOptions.replyDelay = std::chrono::milliseconds{3};
    sensorOptions.seed = static_cast<std::uint32_t>(random_());
    sensor_ = std::make_unique<sim::SensorModel>(sensorOptions, simNow());
    allowedConfigurations_.insert(sensor_->configuration());
    allowedEmpty_.insert(sensor_->calibration().empty);
    allowedFull_.insert(sensor_->calibration().full);

    image_.resize(sim::kFirmwareImageSize);
    for (std::uint8_t& byte : image_) {
        byte = static_cast<std::uint8_t>(random_());
    }
    std::ofstream(imagePath_, std::ios::binary)
        .write(reinterpret_cast<const char*>(image_.data()),
               static_cast<std::streamsize>(image_.size()));
    firmware_.restoreFirmwarePath(imagePath_);
}

// ---- the loop --------------------------------------------------------------------------

SoakResult Soak::run() {
    try {
        readings_.restartFilter({});
        live_.start(adapterName(adapterNumber_));
        engine_.start();
        nextAction_ = time_.now() + 500;
        while (result_.exchanges < options_.exchanges) {
            runFor(random(20000, 90000));
            checkpoint();
        }
    } catch (const Violation& violation) {
        result_.violations = 1;
        result_.violation = violation.what;
    }
    result_.virtualSeconds = time_.now() / 1000;
    return result_;
}

std::uint64_t Soak::nextEventTime(std::uint64_t end) const {
    std::uint64_t next = end;
    for (const VirtualTime::Timer* timer : {&mainTimer_, &pollTimer_, &refreshTimer_}) {
        if (timer->isActive()) {
            next = std::min(next, timer->due());
        }
    }
    if (const auto due = sensor_->nextOutputTime()) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*due).count();
        next = std::min<std::uint64_t>(next, static_cast<std::uint64_t>(ms));
    }
    for (const Delivery& delivery : line_) {
        next = std::min(next, delivery.at);
    }
    if (plugAt_) {
        next = std::min(next, *plugAt_);
    }
    return std::max(std::min(next, nextAction_), time_.now());
}

void Soak::runFor(std::uint64_t milliseconds) {
    const std::uint64_t end = time_.now() + milliseconds;
    ++depth_;
    while (time_.now() < end) {
        const std::uint64_t next = nextEventTime(end);
        time_.advanceBy(next - time_.now());
        pumpSensor();
        deliverDue();
        if (plugAt_ && *plugAt_ <= time_.now()) {
            plug();
        }
        if (nextAction_ <= time_.now()) {
            act();
        }
        checkAlways();
    }
    --depth_;
}

void Soak::pumpSensor() {
    sensor_->takeTrace(); // the schedule says enough; kept, it would grow without end
    const ByteString out = sensor_->takeOutput(simNow());
    if (!plugged_) {
        return; // said to nobody
    }
    // Without faults of its own the model sends whole frames.
    for (std::size_t at = 0; at + kFrameSize <= out.size(); at += kFrameSize) {
        lineFaults(ByteString(out.begin() + static_cast<std::ptrdiff_t>(at),
                              out.begin() + static_cast<std::ptrdiff_t>(at + kFrameSize)));
    }
}

void Soak::queue(std::uint64_t at, ByteString bytes, bool late) {
    const auto place = std::find_if(line_.begin(), line_.end(),
                                    [&](const Delivery& delivery) { return delivery.at > at; });
    line_.insert(place, Delivery{at, std::move(bytes), late});
}

void Soak::lineFaults(const ByteString& frame) {
    const std::uint64_t now = time_.now();
    if (settling_ || !chance(0.1)) {
        queue(now, frame);
        return;
    }
    switch (random(0, 4)) {
    case 0:
        count("dropped reply");
        note("reply dropped");
        return;
    case 1: {
        ByteString bad = frame;
        bad[frame_offset::kChecksum] = static_cast<std::uint8_t>(bad[frame_offset::kChecksum] + 1);
        count("corrupted checksum");
        note("reply checksum corrupted");
        queue(now, bad);
        return;
    }
    case 2: {
        if (frame[frame_offset::kStart] != kReplyStart) {
            break; // noise before a boot loader's frame makes it a frame of nothing
        }
        ByteString noisy;
        for (std::uint64_t i = random(1, 5); i > 0; --i) {
            std::uint8_t noise = static_cast<std::uint8_t>(random(0, 254));
            noisy.push_back(noise >= kReplyStart ? static_cast<std::uint8_t>(noise + 1) : noise);
        }
        noisy.insert(noisy.end(), frame.begin(), frame.end());
        count("noise before reply");
        note("noise before the reply");
        queue(now, noisy);
        return;
    }
    case 3: {
        std::uint64_t at = now;
        for (std::size_t from = 0; from < frame.size();) {
            const std::size_t size = std::min<std::size_t>(random(1, 4), frame.size() - from);
            queue(at, ByteString(frame.begin() + static_cast<std::ptrdiff_t>(from),
                                 frame.begin() + static_cast<std::ptrdiff_t>(from + size)));
            from += size;
            at += random(1, 20);
        }
        count("split reply");
        note("reply split into chunks");
        return;
    }
    default: {
        const std::uint64_t delay = random(1500, 5000);
        count("late reply");
        note("reply late by " + std::to_string(delay) + " ms");
        queue(now + delay, frame, true);
        return;
    }
    }
    queue(now, frame);
}

void Soak::deliverDue() {
    while (!line_.empty() && line_.front().at <= time_.now()) {
        Delivery delivery = std::move(line_.front());
        line_.pop_front();
        if (!port_.reachesSensor()) {
            continue;
        }
        if (delivery.late && boxDepth_ > 0) {
            count("late reply while a box was open");
        }
        note("received " + hexBytes(delivery.bytes));
        engine_.ReceiveData(delivery.bytes);
    }
}

void Soak::written(std::span<const std::uint8_t> bytes, std::uint32_t baud) {
    ++result_.exchanges;
    lastWriteAt_ = time_.now();
    if (unanswered_ && mainTimer_.isActive()) {
        fail("a request went out while another was outstanding: " + hexBytes(bytes));
    }
    unanswered_ = true;
    framesAtWrite_ = engine_.framesTaken();
    note("sent " + hexBytes(bytes) + "(" + std::to_string(baud) + " baud" +
         (port_.reachesSensor() ? "" : ", reaches no sensor") + ")");
    if (!port_.reachesSensor()) {
        return;
    }
    sensor_->receive(bytes, baud, simNow());
    if (auto flashed = sensor_->takeFlashedImage()) {
        if (*flashed != image_) {
            fail("the sensor was flashed with an image that is not the chosen one");
        }
        flashedSinceStart_ = std::move(flashed);
        firmwareAsked_ = false;
    }
}

void Soak::firmwareLogLine(const std::string& line) {
    if (line != test::sensorText("rsFirmwareUpdateSuccess")) {
        return;
    }
    if (!flashedSinceStart_ || *flashedSinceStart_ != image_) {
        fail("the firmware update was reported successful, but the sensor does not hold the image");
    }
    ++result_.firmwareUpdatesCompleted;
    note("firmware update reported successful");
}

std::vector<PortEntry> Soak::systemPorts() const {
    std::vector<PortEntry> ports{kOtherPort};
    if (plugged_) {
        ports.push_back({adapterName(adapterNumber_), adapterPath(), "FT232R USB UART (FTDI)",
                         kAdapterIdentity});
    }
    return ports;
}

// ---- faults and clicks -------------------------------------------------------------------

std::string Soak::exchangeContext() const {
    if (boxDepth_ > 0) {
        return "while a box was open";
    }
    if (configuration_.isWaitingForRestart()) {
        return "in the restart pause after a configuration write";
    }
    if (firmware_.phase() != FirmwareTransfer::Phase::Idle) {
        return "during a firmware update";
    }
    if (!unanswered_) {
        return "between exchanges";
    }
    return engine_.requestState() == rs::kLevelPoll ? "during a poll" : "during a command";
}

void Soak::act() {
    nextAction_ = time_.now() + random(20, 3000);
    if (settling_) {
        return;
    }
    const std::uint64_t roll = random(0, 99);
    if (roll < 78) {
        if (boxDepth_ == 0) { // a modal box takes the clicks
            click();
        }
    } else if (roll < 90) {
        if (plugged_) {
            pull();
        }
    } else if (roll < 95) {
        if (sensor_->phase(simNow()) != sim::SensorPhase::Bootloader) {
            count(std::string("sensor restart ") +
                  (unanswered_ && engine_.requestState() != rs::kLevelPoll ? "during a command"
                                                                           : "otherwise"));
            restartSensor(std::nullopt);
        }
    } else {
        if (sensor_->phase(simNow()) != sim::SensorPhase::Bootloader) {
            count("bit-rate change");
            restartSensor(static_cast<std::uint8_t>(sensor_->configuration()[0] ^
                                                    sim::mode_bit::kBitrate9600));
        }
    }
}

void Soak::restartSensor(std::optional<std::uint8_t> mode) {
    sim::SimOptions options;
    options.replyDelay = std::chrono::milliseconds{3};
    options.configuration = sensor_->configuration();
    if (mode) {
        options.configuration[0] = *mode;
        allowedConfigurations_.insert(options.configuration);
    }
    options.calibration = sensor_->calibration();
    options.powerOn = true;
    options.seed = static_cast<std::uint32_t>(random_());
    note(mode ? "the sensor changes its bit rate and restarts" : "the sensor restarts");
    sensor_ = std::make_unique<sim::SensorModel>(options, simNow());
    // The tank's level under the calibration it now holds: what a calibration resent after
    // the restart takes.
    allowedEmpty_.insert(sensor_->measurement());
    allowedFull_.insert(sensor_->measurement());
}

void Soak::pull() {
    count("pull " + exchangeContext());
    note("adapter pulled " + exchangeContext());
    plugged_ = false;
    if (port_.open_) {
        port_.dead_ = true;
    }
    const bool quick = chance(0.5);
    plugAt_ = time_.now() + (quick ? random(100, 1500) : random(1500, 8000));
    if (quick) {
        count("quick replug");
    }
    live_.portsMayHaveChanged();
}

void Soak::plug() {
    plugAt_.reset();
    if (chance(0.2)) {
        adapterNumber_ = 1 - adapterNumber_; // the old node was still held: the next number
        count("replug under another name");
    }
    plugged_ = true;
    note("adapter plugged as " + adapterName(adapterNumber_));
    live_.portsMayHaveChanged();
}

void Soak::box(std::uint64_t longest) {
    if (settling_ || depth_ > kMaxNesting) {
        return; // answered at once
    }
    ++boxDepth_;
    const std::uint64_t open = random(0, longest);
    note("a box opens for " + std::to_string(open) + " ms");
    runFor(open);
    note("the box is closed");
    --boxDepth_;
}

void Soak::click() {
    const bool commands = engineView_.commandControls;
    static const char* const kControls[] = {"ReadVersionButton", "readconfButton",
                                            "writeconfButton",   "test05button",
                                            "tar0Button",        "tarmaxButton",
                                            "readtar2Button",    "writetar2Button",
                                            "startflashButton",  "comportComboBox"};
    // An update takes 3072 exchanges and leaves the sensor in its boot loader when a fault
    // cuts it off: started a fiftieth as often as the rest.
    std::size_t which = random(0, std::size(kControls) - 1);
    if (which == 8 && !chance(0.02)) {
        return;
    }
    const std::string control = kControls[which];
    const auto clicked = [&] {
        ++result_.clicks[control];
        note("clicked " + control);
    };
    switch (which) {
    case 0:
        if (!commands) return;
        clicked();
        readings_.ReadVersionButtonClick();
        break;
    case 1:
        if (!commands) return;
        clicked();
        configuration_.readconfButtonClick();
        break;
    case 2: {
        if (!commands || !configurationView_.writeButtons) {
            return;
        }
        ModeControls mode = configurationView_.mode;
        mode.outputMode = static_cast<int>(random(0, 1));
        mode.bitrate = chance(0.15) ? 1 - mode.bitrate : mode.bitrate;
        mode.rs485Range = static_cast<int>(random(0, 1));
        configurationView_.mode = mode;
        configuration_.outputmoderadioClick();
        configurationView_.address = chance(0.5) ? "1" : "7";
        configurationView_.averaging = chance(0.5) ? 0 : 3;
        const FrameData record{static_cast<std::uint8_t>(configuration_.getmode() &
                                                         sim::mode_bit::kStored),
                               configuration_.getU(),
                               static_cast<std::uint8_t>(configuration_.getdeviceaddress()),
                               multiplierByte(multiplier_.getTKoeff()),
                               static_cast<std::uint8_t>(configuration_.getAveraging())};
        allowedConfigurations_.insert(record);
        clicked();
        configuration_.writeconfButtonClick();
        break;
    }
    case 3:
        if (!commands) return;
        clicked();
        configuration_.test05buttonClick();
        break;
    case 4:
    case 5:
        if (!pointsView_.calibrateButtons) return;
        (which == 4 ? allowedEmpty_ : allowedFull_).insert(sensor_->measurement());
        clicked();
        which == 4 ? points_.tar0ButtonClick() : points_.tarmaxButtonClick();
        break;
    case 6:
        if (!commands) return;
        clicked();
        points_.readtar2ButtonClick();
        break;
    case 7: {
        if (!pointsView_.writeButton) return;
        static const std::uint32_t kPoints[] = {0, 1000, 30000, 65535, 200000};
        const std::uint32_t empty = kPoints[random(0, 4)];
        const std::uint32_t full = kPoints[random(0, 4)];
        pointsView_.texts[TankPoint::Empty] = std::to_string(empty);
        pointsView_.texts[TankPoint::Full] = std::to_string(full);
        allowedEmpty_.insert(empty);
        allowedFull_.insert(full);
        clicked();
        points_.writetar2ButtonClick();
        break;
    }
    case 8:
        if (!engineView_.startFlash) return;
        if (!firmware_.isRunning() && engine_.isPortOpen()) {
            firmwareAsked_ = true;
            flashedSinceStart_.reset();
        }
        clicked();
        firmware_.startflashButtonClick();
        break;
    default: {
        if (!commands) return;
        const auto entry = std::find_if(selector_.shown.begin(), selector_.shown.end(),
                                        [&](const PortEntry& shown) {
                                            return shown.identity == kAdapterIdentity;
                                        });
        // The entry the selector keeps for a vanished open port is not chosen: whether a
        // failed open of it is waited for is the port list's rule, not checked here.
        if (entry == selector_.shown.end() || !plugged_) return;
        selector_.selectPort(static_cast<int>(entry - selector_.shown.begin()));
        clicked();
        live_.comportComboBoxChange();
        break;
    }
    }
}

// ---- the checks ------------------------------------------------------------------------

void Soak::checkAlways() {
    if (unanswered_ && engine_.framesTaken() != framesAtWrite_) {
        unanswered_ = false; // a frame was taken since the request went out
    }
    if (unanswered_ && !mainTimer_.isActive() && !configuration_.isWaitingForRestart()) {
        fail("a request is outstanding without its reply time-out");
    }
    const FrameData& configuration = sensor_->configuration();
    if (!allowedConfigurations_.contains(configuration)) {
        fail("the sensor holds a configuration nobody wrote: " + hexBytes(configuration));
    }
    if (!allowedEmpty_.contains(sensor_->calibration().empty) ||
        !allowedFull_.contains(sensor_->calibration().full)) {
        fail("the sensor holds calibration points nobody asked for: " +
             std::to_string(sensor_->calibration().empty) + ", " +
             std::to_string(sensor_->calibration().full));
    }
    if (!firmwareAsked_ && sensor_->phase(simNow()) == sim::SensorPhase::Bootloader) {
        fail("the sensor's boot loader took firmware nobody asked for");
    }
}

void Soak::settleFor(std::uint64_t milliseconds) {
    const std::uint64_t end = time_.now() + milliseconds;
    while (time_.now() < end) {
        runFor(std::min<std::uint64_t>(end - time_.now(), 500));
    }
}

void Soak::checkpoint() {
    settling_ = true;
    ++result_.checkpoints;
    if (plugAt_) {
        plug();
    }
    // Now and then the sensor stays away for a while first: the caption must say so.
    if (chance(0.3)) {
        sensor_->silence(simNow(), std::chrono::milliseconds{kDetachBoundMs + 1000});
        note("checkpoint: the sensor is silent");
        settleFor(kDetachBoundMs);
        if (captionConnected() || engine_.isAttached()) {
            fail("the caption says connected, but the sensor has not answered for " +
                 std::to_string(kDetachBoundMs / 1000) + " s");
        }
        settleFor(1000);
    }
    note("checkpoint: the sensor is healthy");
    settleFor(kAttachBoundMs);
    if (engine_.isAwaitingFirmware() && firmware_.phase() == FirmwareTransfer::Phase::Idle) {
        note("checkpoint: the boot loader waits; the update is started again");
        firmwareAsked_ = true;
        flashedSinceStart_.reset();
        firmware_.startflashButtonClick();
    }
    for (std::uint64_t waited = 0;
         waited < kTransferBoundMs && firmware_.phase() != FirmwareTransfer::Phase::Idle;
         waited += 1000) {
        settleFor(1000);
    }
    if (firmware_.phase() != FirmwareTransfer::Phase::Idle) {
        fail("a firmware update is still running long after the faults stopped");
    }
    if (!engine_.isPortOpen()) {
        fail("the healthy sensor's port was not opened again by itself");
    }
    if (!engine_.isAttached() || !captionConnected()) {
        fail("the healthy sensor was not attached again within " +
             std::to_string(kAttachBoundMs / 1000) + " s (caption \"" + engineView_.caption +
             "\", request state " + std::to_string(engine_.requestState()) + ")");
    }
    const std::uint8_t state = engine_.requestState();
    if (state != rs::kIdle && state != rs::kLevelPoll) {
        fail("the engine did not come back to idle: request state " + std::to_string(state));
    }
    if (time_.now() - lastWriteAt_ > ExchangeEngine::kPollDelayAfterOpenMs + 1000) {
        fail("the engine stopped polling the attached sensor");
    }
    settling_ = false;
    if (options_.onCheckpoint) {
        options_.onCheckpoint(result_.exchanges);
    }
}

// ---- bookkeeping -----------------------------------------------------------------------

void Soak::note(const std::string& text) {
    std::string line = std::to_string(time_.now()) + " ms, exchange " +
                       std::to_string(result_.exchanges) + ": " + text;
    result_.schedule.push_back(std::move(line));
    if (result_.schedule.size() > options_.scheduleKept) {
        result_.schedule.pop_front();
    }
}

void Soak::fail(const std::string& what) {
    throw Violation{what};
}

} // namespace

SoakResult runSoak(const SoakOptions& options) {
    Soak soak(options);
    return soak.run();
}

std::string describeFailure(const SoakResult& result) {
    std::ostringstream text;
    text << "seed " << result.seed << ", exchange " << result.exchanges << ": "
         << result.violation << "\n"
         << "replay: vorkel-soak --seed " << result.seed << " --exchanges " << result.exchanges
         << "\nthe schedule up to it (newest last):\n";
    for (const std::string& line : result.schedule) {
        text << "  " << line << "\n";
    }
    return text.str();
}

} // namespace vorkel::soak
