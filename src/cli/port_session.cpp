#include "cli/port_session.h"

#include "calibration/calibration_record.h"
#include "protocol/sensor_wiring.h"
#include "sensor/configuration_record.h"
#include "sensor/level_display.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QString>

namespace vorkel::cli {
namespace {

namespace rs = request_state;

// Silence this long while a step waits for the sensor ends the port's job: longer than the
// engine's reply time-out with its one retransmission and the restart pause after a write.
constexpr int kSilenceLimitMs = 10000;

QString text(const std::string& value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// A number as a display shows it ("50.00 %", " 2.51 %", "10.00", "2048"); null when the display
// holds no number ("?", empty, or a temperature still held back after a restart).
QJsonValue displayedNumber(const std::string& shown) {
    QString number = text(shown);
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    return ok ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalNumber(const std::optional<std::uint32_t>& value) {
    return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue(QJsonValue::Null);
}

std::uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

MainThreadExecutor mainLoopExecutor() {
    return [](std::function<void()> job) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(job),
                                  Qt::QueuedConnection);
    };
}

} // namespace

std::vector<std::string> averagingItems(const TranslationList& texts) {
    std::vector<std::string> items;
    for (int i = 0; i < kAveragingItemCount; ++i) {
        items.push_back(texts.get("AveragingComboBox.Item" + std::to_string(i)));
    }
    return items;
}

void PortSession::ObservedTimer::setHandler(std::function<void()> onTimeout) {
    QtEngineTimer::setHandler([this, onTimeout = std::move(onTimeout)] {
        onTimeout();
        after_();
    });
}

std::uint8_t PortSession::CountingOwner::handleReply(const Frame& reply, std::uint8_t entryState) {
    const std::uint8_t state = owner_.handleReply(reply, entryState);
    session_.replyHandled(reply);
    return state;
}

PortSession::PortSession(PortEntry port, const CliJob& job, const TranslationList& texts,
                         SessionOutput output)
    : port_(std::move(port))
    , job_(job)
    , texts_(texts)
    , output_(std::move(output))
    , controls_(port_.name, averagingItems(texts))
    , mainTimer_([this] {
        replyTimedOut();
        advance();
    })
    , pollTimer_([this] { advance(); })
    , comPort_(mainLoopExecutor())
    , adapter_(comPort_)
    , engine_(mainTimer_, pollTimer_, adapter_, controls_,
              EngineServices{[this](std::string_view key) { return translate(key); },
                             [this](const std::string& message) {
                                 output_.logLine(port_.name + ": " + message);
                             },
                             [this](const std::string& text) { fail(kSensorFailed, text); },
                             tickCount})
    , multiplier_(controls_,
                  MultiplierServices{[this](std::string_view key) { return translate(key); },
                                     [] { return std::optional<double>(); },
                                     [this](const std::string& text) {
                                         fail(kSensorFailed, text);
                                     }})
    , readings_(engine_, controls_,
                ReadingsServices{tickCount,
                                 [this] { return configuration_.fullScale(); },
                                 [this] { return configuration_.frequencySpan(); },
                                 [this] { return configuration_.updateRangeCaption(); },
                                 [](std::uint32_t) { return std::optional<std::string>(); }})
    , configuration_(engine_, controls_, readings_, multiplier_, configurationServices())
    , firmware_(engine_, controls_, firmwareServices())
    , points_(engine_, controls_, calibrationServices())
    , backup_(engine_, points_, controls_, calibrationServices())
    , countedReadings_(*this, readings_)
    , countedConfiguration_(*this, configuration_)
    , countedPoints_(*this, points_)
    , countedBackup_(*this, backup_) {}

PortSession::~PortSession() {
    mainTimer_.stop();
    pollTimer_.stop();
    comPort_.Close();
}

ConfigurationServices PortSession::configurationServices() {
    return ConfigurationServices{
        [this](std::string_view key) { return translate(key); },
        [this](const std::string& text) { fail(kSensorFailed, text); },
        [this](const std::string&, const std::string& text) {
            output_.logLine(port_.name + ": " + text);
        },
        tickCount,
        [](std::uint32_t milliseconds) {
            // The window's restart pause: the other ports go on meanwhile.
            QEventLoop loop;
            QTimer::singleShot(static_cast<int>(milliseconds), &loop, &QEventLoop::quit);
            loop.exec();
        }};
}

FirmwareServices PortSession::firmwareServices() {
    return FirmwareServices{
        [this](std::string_view key) { return translate(key); },
        [this](const std::string& message) { output_.logLine(port_.name + ": " + message); },
        [this](const std::string& text) { fail(kSensorFailed, text); },
        // Mismatching echoes were resent and counted; the image went in whole.
        [this](const std::string& text) { output_.logLine(port_.name + ": " + text); },
        [this] { return std::optional<std::filesystem::path>(job_.file); },
        randomFillerSource()};
}

CalibrationServices PortSession::calibrationServices() {
    const auto file = [this] { return std::optional<std::filesystem::path>(job_.file); };
    return CalibrationServices{
        [this](std::string_view key) { return translate(key); },
        [this](const std::string& text) { fail(kSensorFailed, text); },
        [this](const std::string& text) { fail(kSensorFailed, text); },
        [this](const std::string&, const std::string&) {
            if (!job_.yes) {
                fail(kUsageError, translate("rsCliEmptyNotBelowFull"));
            }
            return job_.yes;
        },
        [this](const std::string&, const std::string& text) {
            output_.logLine(port_.name + ": " + text);
        },
        file,
        file,
        [](const std::string&) { return std::optional<ExportChoice>(); },
        [] { return CalendarDate{}; }, // no table export here
        [] { return std::string("/"); },
        [this] { return readings_.selectedReadingText(); },
        [this] { return configuration_.getAveraging(); }};
}

void PortSession::start() {
    registerReplyOwners(engine_, {countedReadings_, countedConfiguration_, countedPoints_,
                                  countedBackup_});
    prepareSensorLine(comPort_, engine_);
    comPort_.ReceiveCallBack = [this](const ByteString& data) {
        silence_.start();
        engine_.ReceiveData(data);
        advance();
    };
    comPort_.OnError = [this](TComPort& port) {
        if (!port.lastErrorText().empty()) {
            fail(kSensorFailed, port.lastErrorText());
        }
    };
    silence_.setSingleShot(true);
    silence_.setInterval(kSilenceLimitMs);
    QObject::connect(&silence_, &QTimer::timeout, [this] {
        fail(kSensorFailed, translate("rsResponseNotReceived"));
        advance();
    });
    planSteps();

    engine_.setPortList({port_});
    if (job_.baud != BaudChoice::Auto) {
        engine_.setBaudSelector(job_.baud == BaudChoice::Fast);
        engine_.setBaudFixed(true);
    }
    const std::string refusal = engine_.openQuietly();
    if (!refusal.empty()) {
        fail(kPortFailed, refusal);
    }
    silence_.start();
    // Later, from the event loop: every port's session has started by then.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { advance(); },
                              Qt::QueuedConnection);
}

void PortSession::interrupt() {
    if (finished_) {
        return;
    }
    if (job_.command == Command::Watch && step_ == 1) {
        finish(kSucceeded, {});
    } else {
        finish(kSensorFailed, translate("rsCliInterrupted"));
    }
}

void PortSession::planSteps() {
    // Found first, as the window finds it: a poll at the chosen speed (both, searching).
    steps_.push_back({[this] { engine_.ScheduledPacketTimerTimer(); },
                      [this] {
                          if (engine_.isAwaitingFirmware() && job_.command != Command::Flash) {
                              fail(kSensorFailed, translate("rsCliBootLoaderWaits"));
                          }
                          return engine_.isAttached();
                      }});
    switch (job_.command) {
    case Command::Ports:
    case Command::TableConvert: // neither opens a port
        break;
    case Command::Info:
        steps_.push_back(readConfiguration());
        steps_.push_back(readPoints());
        steps_.push_back(waitForLevel());
        break;
    case Command::Watch:
        steps_.push_back({[] {},
                          [this] { return job_.count && readingsShown_ >= *job_.count; }});
        break;
    case Command::Config:
        steps_.push_back(readConfiguration());
        break;
    case Command::ConfigSet:
        steps_.push_back(readConfiguration());
        steps_.push_back({[this] {
                              // As a user sets the controls: only the named fields change.
                              ConfigurationRecord record = decodeConfigurationRecord(
                                  {configuration_.getmode(), configuration_.getU(),
                                   static_cast<std::uint8_t>(configuration_.getdeviceaddress()),
                                   multiplierByte(multiplier_.getTKoeff()),
                                   static_cast<std::uint8_t>(configuration_.getAveraging())});
                              std::string address = controls_.address;
                              for (const ConfigurationChange& change : job_.changes) {
                                  change.field->apply(change.value, record);
                                  if (change.field->name == "address") {
                                      address = change.value;
                                  }
                              }
                              written_ = record;
                              configuration_.setMode(encodeMode(record.mode));
                              if (const std::string refused = fieldsNotEditable();
                                  !refused.empty()) {
                                  fail(kUsageError,
                                       translate("rsCliFieldNotEditable") + " " + refused);
                                  return;
                              }
                              configuration_.setU(encodeAnalogRange(record.range));
                              controls_.showAddress(address);
                              multiplier_.setTkoeff(record.multiplierPosition);
                              configuration_.setAveraging(record.averagingSeconds);
                              configuration_.writeconfButtonClick();
                          },
                          [this] {
                              return repliesSinceStep(CommandCode::WriteConfiguration) > 0;
                          }});
        steps_.push_back(waitForLevel()); // the sensor is back from its restart
        steps_.push_back(readConfiguration());
        steps_.push_back({[this] {
                              const FrameData read = encodeConfigurationRecord(
                                  decodeConfigurationRecord(
                                      {configuration_.getmode(), configuration_.getU(),
                                       static_cast<std::uint8_t>(configuration_.getdeviceaddress()),
                                       multiplierByte(multiplier_.getTKoeff()),
                                       static_cast<std::uint8_t>(configuration_.getAveraging())}));
                              if (read != encodeConfigurationRecord(*written_)) {
                                  fail(kSensorFailed, translate("rsCliConfigurationNotTaken"));
                              }
                          },
                          [] { return true; }});
        break;
    case Command::Points:
        steps_.push_back(readPoints());
        break;
    case Command::PointsSet:
        steps_.push_back({[this] {
                              controls_.emptyPoint = std::to_string(job_.emptyPoint);
                              controls_.fullPoint = std::to_string(job_.fullPoint);
                              points_.writetar2ButtonClick();
                          },
                          [this] { return repliesSinceStep(CommandCode::WriteCalibration) > 0; }});
        break;
    case Command::CalibrateEmpty:
    case Command::CalibrateFull:
        steps_.push_back({[this] {
                              if (job_.command == Command::CalibrateEmpty) {
                                  points_.tar0ButtonClick();
                              } else {
                                  points_.tarmaxButtonClick();
                              }
                          },
                          // The sensor takes the point, then the points are read back.
                          [this] { return repliesSinceStep(CommandCode::ReadCalibration) > 0; }});
        break;
    case Command::BackupSave:
        steps_.push_back({[this] { backup_.readtarButtonClick(); },
                          [this] { return repliesSinceStep(CommandCode::ReadCalibration) > 0; }});
        break;
    case Command::BackupLoad:
        steps_.push_back({[this] { backup_.writetarButtonClick(); },
                          [this] { return repliesSinceStep(CommandCode::WriteCalibration) > 0; }});
        break;
    case Command::Flash:
        steps_.push_back({[this] {
                              flashStart_ = std::chrono::steady_clock::now();
                              firmware_.getflashfileButtonClick(); // checked as chosen
                              firmware_.startflashButtonClick();
                              flashStarted_ = true;
                          },
                          [this] {
                              if (firmware_.phase() != FirmwareTransfer::Phase::Idle) {
                                  return false;
                              }
                              flashSeconds_ = std::chrono::duration<double>(
                                                  std::chrono::steady_clock::now() - flashStart_)
                                                  .count();
                              if (!firmware_.completed()) {
                                  fail(kSensorFailed, translate("rsCliFirmwareNotCompleted"));
                              }
                              return true;
                          }});
        break;
    }
}

std::string PortSession::fieldsNotEditable() const {
    // The controls the window has switched on for this sensor and the output mode chosen.
    std::string refused;
    for (const ConfigurationChange& change : job_.changes) {
        const std::string_view name = change.field->name;
        const bool analogOnly = name == "analog-low" || name == "analog-high";
        const bool frequencyOnly = name == "resistor" || name == "frequency-range";
        const bool rs485Option = name == "range" || name == "bitrate" || name == "push";
        if ((analogOnly && !controls_.analogControlsEnabled) ||
            (frequencyOnly && controls_.analogControlsEnabled) ||
            (rs485Option && !controls_.rs485OptionsEnabled())) {
            refused += (refused.empty() ? "" : ", ") + std::string(name);
        }
    }
    return refused;
}

PortSession::Step PortSession::readConfiguration() {
    return {[this] { configuration_.readconfButtonClick(); },
            [this] { return repliesSinceStep(CommandCode::ReadConfiguration) > 0; }};
}

PortSession::Step PortSession::readPoints() {
    return {[this] { points_.readtar2ButtonClick(); },
            [this] { return repliesSinceStep(CommandCode::ReadCalibration) > 0; }};
}

PortSession::Step PortSession::waitForLevel() {
    // The poll asks once a second while the engine is idle.
    return {[] {}, [this] { return repliesSinceStep(CommandCode::ReadLevel) > 0; }};
}

void PortSession::replyHandled(const Frame& reply) {
    const std::uint8_t code = reply[frame_offset::kCode];
    ++replies_[code];
    if (code != toByte(CommandCode::ReadLevel)) {
        return;
    }
    lastLevel_ = decodeLevelReply(reply);
    if (job_.command == Command::Watch && step_ == 1 && !finished_ &&
        (!job_.count || readingsShown_ < *job_.count)) {
        ++readingsShown_;
        output_.reading(port_.name, readingJson());
    }
}

void PortSession::replyTimedOut() {
    // Searching: each speed twice (the chosen one three times), long enough for a sensor that is
    // restarting after a write to be found.
    if (step_ == 0 && !engine_.isAttached() &&
        ++searchTimeouts_ >= (job_.baud == BaudChoice::Auto ? 4u : 3u)) {
        fail(kSensorFailed, translate("rsResponseNotReceived"));
    }
}

void PortSession::fail(int status, const std::string& reason) {
    if (!failure_) {
        failure_ = {status, reason};
    }
    // Ended from the event loop, outside the handler that failed.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { advance(); },
                              Qt::QueuedConnection);
}

bool PortSession::engineIdle() const {
    return engine_.requestState() == rs::kIdle && !mainTimer_.isActive() &&
           !configuration_.isWaitingForRestart() && !firmware_.isRunning();
}

std::size_t PortSession::repliesSinceStep(CommandCode code) const {
    const auto now = replies_.find(toByte(code));
    const auto then = repliesAtStep_.find(toByte(code));
    return (now != replies_.end() ? now->second : 0) -
           (then != repliesAtStep_.end() ? then->second : 0);
}

void PortSession::advance() {
    if (finished_ || advancing_ || configuration_.isWaitingForRestart()) {
        return;
    }
    advancing_ = true;
    while (!failure_ && step_ < steps_.size() && engineIdle()) {
        Step& step = steps_[step_];
        if (!stepStarted_) {
            stepStarted_ = true;
            repliesAtStep_ = replies_;
            step.start();
            continue;
        }
        if (!step.done()) {
            break;
        }
        ++step_;
        stepStarted_ = false;
    }
    advancing_ = false;
    if (failure_) {
        finish(failure_->first, failure_->second);
    } else if (step_ == steps_.size()) {
        finish(kSucceeded, {});
    }
}

void PortSession::finish(int status, const std::string& reason) {
    finished_ = true;
    silence_.stop();
    mainTimer_.stop();
    pollTimer_.stop();
    comPort_.Close();
    PortResult result;
    result.port = port_.name;
    result.status = status;
    result.error = reason;
    if (status == kSucceeded) {
        result.data = resultData();
    }
    output_.finished(result);
}

QJsonObject PortSession::versionJson() const {
    bool ok = false;
    const int module = text(controls_.measuringModule).toInt(&ok);
    return {{"program", text(controls_.version.program)},
            {"bootloader", text(controls_.version.bootloader)},
            {"module", ok ? QJsonValue(module) : QJsonValue(QJsonValue::Null)}};
}

QJsonObject PortSession::configurationJson() const {
    const ModeFields mode = decodeMode(configuration_.getmode());
    const AnalogRange range = decodeAnalogRange(configuration_.getU());
    const RangeVoltages volts = rangeVoltages(range.lower, range.upper);
    return {{"output", mode.analog ? "analog" : "frequency"},
            {"resistor", mode.withResistor ? "on" : "off"},
            {"frequency-range", mode.range1020 ? 1020 : 2000},
            {"analog-low", range.lower},
            {"analog-high", range.upper},
            {"analog-volts-low", volts.lower},
            {"analog-volts-high", volts.upper},
            {"address", static_cast<qint64>(configuration_.getdeviceaddress())},
            {"range", mode.range1023 ? 1023 : 4095},
            {"bitrate", mode.bitrate9600 ? 9600 : 19200},
            {"push", mode.autoPush ? "on" : "off"},
            {"multiplier", multiplier_.getTKoeff()},
            {"averaging", configuration_.getAveraging()}};
}

QJsonObject PortSession::pointsJson() const {
    return {{"empty", optionalNumber(parseCalibrationPoint(controls_.emptyPoint))},
            {"full", optionalNumber(parseCalibrationPoint(controls_.fullPoint))}};
}

QJsonObject PortSession::levelJson() const {
    // One reading as it came, shown through the same rules as the level displays.
    const std::uint32_t level = lastLevel_ ? lastLevel_->level : 0;
    const unsigned fullScale = configuration_.fullScale();
    const RangeVoltages volts = rangeVoltages(
        decodeAnalogRange(configuration_.getU()).lower, decodeAnalogRange(configuration_.getU()).upper);
    return {{"raw", static_cast<qint64>(level)},
            {"percent", displayedNumber(levelPercentText(level, fullScale))},
            {"voltage", displayedNumber(levelVoltageText(level, fullScale, volts.lower, volts.upper))},
            {"frequency",
             displayedNumber(levelFrequencyText(level, fullScale, configuration_.frequencySpan()))},
            {"temperature", lastLevel_ ? lastLevel_->temperature : 0},
            {"counter", static_cast<qint64>(lastLevel_ ? lastLevel_->counter : 0)}};
}

QJsonObject PortSession::readingJson() const {
    // The readings page: the raw level at once, the others once the stability filter has
    // accepted a level, the temperature once the sensor has settled after its start.
    return {{"port", text(port_.name)},
            {"raw", displayedNumber(controls_.readingText(ReadingControl::Raw))},
            {"level", displayedNumber(controls_.averagedLevel)},
            {"stable", controls_.stable},
            {"percent", displayedNumber(controls_.readingText(ReadingControl::Percent))},
            {"voltage", displayedNumber(controls_.readingText(ReadingControl::Voltage))},
            {"frequency", displayedNumber(controls_.readingText(ReadingControl::Frequency))},
            {"temperature", displayedNumber(controls_.temperature)},
            {"counter", displayedNumber(controls_.counter)}};
}

QJsonObject PortSession::resultData() const {
    switch (job_.command) {
    case Command::Info:
        return {{"version", versionJson()},
                {"configuration", configurationJson()},
                {"points", pointsJson()},
                {"level", levelJson()}};
    case Command::Config:
    case Command::ConfigSet:
        return {{"configuration", configurationJson()}};
    case Command::Points:
    case Command::PointsSet:
    case Command::CalibrateEmpty:
    case Command::CalibrateFull:
        return {{"points", pointsJson()}};
    case Command::BackupSave:
    case Command::BackupLoad: {
        const std::optional<FrameData> record = readBackupFile(job_.file);
        const CalibrationRecord points = record ? decodeCalibrationRecord(*record)
                                                : CalibrationRecord{};
        return {{"file", QString::fromStdU16String(job_.file.u16string())},
                {"points", QJsonObject{{"empty", static_cast<qint64>(points.empty)},
                                       {"full", static_cast<qint64>(points.full)}}}};
    }
    case Command::Flash:
        return {{"file", QString::fromStdU16String(job_.file.u16string())},
                {"seconds", flashSeconds_},
                {"resent", static_cast<qint64>(firmware_.errorCount())}};
    case Command::Watch:
        return {{"readings", static_cast<qint64>(readingsShown_)}};
    case Command::Ports:
    case Command::TableConvert:
        break;
    }
    return {};
}

} // namespace vorkel::cli
