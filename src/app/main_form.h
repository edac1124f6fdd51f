// The main window: owns every control, the serial port, both timers, the exchange engine and
// the translation list for the life of the program; composes the binders that tie each group
// of controls to its behaviour; runs start-up and shut-down, keeps the per-user settings,
// answers the hot keys and the close query.
#pragma once

#include "app/calibration_panel.h"
#include "app/configuration_panel.h"
#include "app/curve_panel.h"
#include "app/engine_panel.h"
#include "app/event_log.h"
#include "app/file_dialogs.h"
#include "app/firmware_panel.h"
#include "app/liters_panel.h"
#include "app/localization.h"
#include "app/multiplier_panel.h"
#include "app/port_panel.h"
#include "app/qt_engine_timer.h"
#include "app/readings_panel.h"
#include "app/report_panel.h"
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_engine.h"
#include "protocol/live_ports.h"
#include "sensor/configuration_flow.h"
#include "sensor/level_filter_parameters.h"
#include "sensor/multiplier_flow.h"
#include "sensor/readings.h"
#include "transport/comport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QMainWindow>
#include <QSettings>

namespace Ui {
class TmainForm;
}

namespace vorkel {

// Everything the window takes from outside: the program passes the real things, tests their own.
struct MainFormEnvironment {
    QSettings* settings = nullptr; // read at start, written at shut-down
    MessageBoxes* boxes = nullptr;
    std::filesystem::path logFile;              // "log.txt", placed by log_place.h
    bool announceLogFile = false;               // elsewhere: the run's first line tells where
    std::optional<QByteArray> translationTable; // the TRANSLATION resource, if any
    std::function<std::vector<PortEntry>()> discoverPorts;
    // Where ports come and go (the port watch's folders; the system's when empty).
    std::optional<std::vector<std::filesystem::path>> watchedFolders;
    std::string buildIdentifier = "0000";     // CRC-16 of the executable, 4 hex digits
    std::function<std::uint32_t()> tickCount; // milliseconds
    std::function<TimeOfDay()> timeOfDay = currentTimeOfDay;
    // The multiplier dialog: the accepted voltage or nothing (the real dialog when empty).
    std::function<std::optional<double>()> multiplierDialog;
    // Handles events for a while (a nested event loop when empty).
    std::function<void(std::uint32_t milliseconds)> processEventsFor;
    // OpenFlashDialog: the chosen file or nothing (the real dialog when empty).
    std::function<std::optional<std::filesystem::path>()> chooseFirmwareFile;
    // SavetarDialog and SavetableDialog: the chosen file or nothing (the real dialog when empty).
    SaveFileChooser chooseSaveFile;
    // Today's date for the calibration table's export (the system's when empty).
    std::function<CalendarDate()> today;
};

class TmainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TmainForm(MainFormEnvironment environment, QWidget* parent = nullptr);
    ~TmainForm() override;

    Ui::TmainForm& ui() { return *ui_; }
    ExchangeEngine& engine() { return engine_; }
    Localization& localization() { return localization_; }
    EventLog& eventLog() { return *log_; }
    LiveReadings& liveReadings() { return liveReadings_; }
    SensorConfiguration& configuration() { return configuration_; }
    MultiplierFlow& multiplier() { return multiplier_; }
    FirmwareTransfer& firmware() { return firmware_; }
    FirmwarePanel& firmwarePanel() { return firmwarePanel_; }
    CalibrationPoints& calibrationPoints() { return calibrationPoints_; }
    LivePorts& livePorts() { return livePorts_; }
    const LevelFilterParameters& levelFilterParameters() const { return filter_; }
    const FileDialogTexts& savetarDialog() const { return savetarDialog_; }
    const FileDialogTexts& openFlashDialog() const { return openFlashDialog_; }

    // Handlers (connected to their controls; public so that tests can drive them).
    void LanguageComboBoxChange(int index);
    void clearlogButtonClick();
    // Hot keys: F12 shows or hides the service page, F11 unlocks the calibration edits.
    // Returns whether the key was one of them.
    bool FormKeyDown(int key);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void loadSettings();
    void saveSettings();
    void fillPortSelector(const QString& storedPort);
    void placeLanguageSelector();
    void applyMinimumSize();
    std::uint32_t selectedLanguageId() const;
    CalibrationServices calibrationServices();
    void processEventsFor(std::uint32_t milliseconds);

    MainFormEnvironment env_;
    std::unique_ptr<Ui::TmainForm> ui_;
    Localization localization_;
    std::unique_ptr<EventLog> log_;
    std::uint32_t languageId_ = kDefaultLanguageId;
    LevelFilterParameters filter_;
    FileDialogTexts savetarDialog_;
    FileDialogTexts openFlashDialog_;
    bool destroyed_ = false;

    QtEngineTimer mainTimer_;
    QtEngineTimer scheduledPacketTimer_;
    QtEngineTimer portRefreshTimer_;
    TComPort comPort_;
    ComPortAdapter portAdapter_;
    // Binders first: the engine and the flows report through them.
    ReadingsPanel readingsPanel_;
    EnginePanel enginePanel_;
    ConfigurationPanel configurationPanel_;
    MultiplierPanel multiplierPanel_;
    FirmwarePanel firmwarePanel_;
    CalibrationPanel calibrationPanel_;
    LitersPanel litersPanel_;
    PortPanel portPanel_;
    CurvePanel curvePanel_;
    ReportPanel reportPanel_;
    ExchangeEngine engine_;
    MultiplierFlow multiplier_;
    LiveReadings liveReadings_;
    SensorConfiguration configuration_;
    FirmwareTransfer firmware_;
    CalibrationPoints calibrationPoints_;
    CalibrationBackup calibrationBackup_;
    CalibrationTable calibrationTable_;
    CalibrationCurve calibrationCurve_;
    CalibrationReport calibrationReport_;
    LitersLookup litersLookup_;
    LivePorts livePorts_;
};

// Runs jobs of the serial port's receive thread on the Qt event loop of the main thread.
MainThreadExecutor qtMainThreadExecutor();

} // namespace vorkel
