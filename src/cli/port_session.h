// One port's run of a job: its own serial line, exchange engine and reply owners, driven through
// the handlers that the window's buttons call, one step after the other whenever the engine is
// idle. The result, or the failure and why, is reported once, when the job has ended; nothing of
// the port stays open after that.
#pragma once

#include "app/qt_engine_timer.h"
#include "app/translation.h"
#include "calibration/backup_file.h"
#include "calibration/calibration_points.h"
#include "cli/cli_job.h"
#include "cli/sensor_controls.h"
#include "firmware/firmware_transfer.h"
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_engine.h"
#include "sensor/configuration_flow.h"
#include "sensor/multiplier_flow.h"
#include "sensor/readings.h"
#include "transport/comport.h"
#include "transport/port_discovery.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QJsonObject>
#include <QTimer>

namespace vorkel::cli {

struct PortResult {
    std::string port;
    int status = kSucceeded;
    std::string error; // one line, in the chosen language
    QJsonObject data;  // what the job read or did
};

struct SessionOutput {
    std::function<void(const std::string& line)> logLine;         // standard error
    std::function<void(const PortResult& result)> finished;      // once per port
    std::function<void(const std::string& port, const QJsonObject& reading)> reading; // `watch`
};

// Averaging control's items in the language of `texts`.
std::vector<std::string> averagingItems(const TranslationList& texts);

class PortSession {
public:
    PortSession(PortEntry port, const CliJob& job, const TranslationList& texts,
                SessionOutput output);
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    void start();
    // Ctrl-C or SIGTERM: `watch` ends as it would after its last reading, any other job as
    // failed; the port is closed either way.
    void interrupt();
    bool isFinished() const { return finished_; }

private:
    // A timer of the engine that tells the session after each of its time-outs.
    class ObservedTimer : public QtEngineTimer {
    public:
        explicit ObservedTimer(std::function<void()> after)
            : after_(std::move(after)) {}
        void setHandler(std::function<void()> onTimeout) override;

    private:
        std::function<void()> after_;
    };
    // Hands each reply to its real owner, then counts it (and keeps the last level reply).
    class CountingOwner : public ReplyOwner {
    public:
        CountingOwner(PortSession& session, ReplyOwner& owner)
            : session_(session)
            , owner_(owner) {}
        std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

    private:
        PortSession& session_;
        ReplyOwner& owner_;
    };
    struct Step {
        std::function<void()> start; // runs when the engine is idle
        std::function<bool()> done;  // asked whenever the engine is idle again
    };

    ConfigurationServices configurationServices();
    FirmwareServices firmwareServices();
    CalibrationServices calibrationServices();
    void planSteps();
    // The named fields that the window's controls would not let a user change now.
    std::string fieldsNotEditable() const;
    Step readConfiguration();
    Step readPoints();
    Step waitForLevel();
    std::string translate(std::string_view key) const { return texts_.get(key); }
    void replyHandled(const Frame& reply);
    void replyTimedOut();
    void fail(int status, const std::string& reason);
    void advance();
    void finish(int status, const std::string& reason);
    bool engineIdle() const;
    std::size_t repliesSinceStep(CommandCode code) const;

    QJsonObject versionJson() const;
    QJsonObject configurationJson() const;
    QJsonObject pointsJson() const;
    QJsonObject levelJson() const;
    QJsonObject readingJson() const;
    QJsonObject resultData() const;

    PortEntry port_;
    const CliJob& job_;
    const TranslationList& texts_;
    SessionOutput output_;

    SensorControls controls_;
    ObservedTimer mainTimer_;
    ObservedTimer pollTimer_;
    TComPort comPort_;
    ComPortAdapter adapter_;
    ExchangeEngine engine_;
    MultiplierFlow multiplier_;
    LiveReadings readings_;
    SensorConfiguration configuration_;
    FirmwareTransfer firmware_;
    CalibrationPoints points_;
    CalibrationBackup backup_;
    CountingOwner countedReadings_;
    CountingOwner countedConfiguration_;
    CountingOwner countedPoints_;
    CountingOwner countedBackup_;
    QTimer silence_; // no byte for this long: the sensor is not answering

    std::vector<Step> steps_;
    std::size_t step_ = 0;
    bool stepStarted_ = false;
    std::map<std::uint8_t, std::size_t> replies_; // by code, since the session began
    std::map<std::uint8_t, std::size_t> repliesAtStep_;
    std::optional<LevelReply> lastLevel_;
    std::optional<ConfigurationRecord> written_;
    unsigned searchTimeouts_ = 0;
    unsigned readingsShown_ = 0;
    bool flashStarted_ = false;
    std::chrono::steady_clock::time_point flashStart_;
    double flashSeconds_ = 0;
    std::optional<std::pair<int, std::string>> failure_;
    bool advancing_ = false;
    bool finished_ = false;
};

} // namespace vorkel::cli
