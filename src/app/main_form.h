// The main window: owns every control, the serial port, both timers, the exchange engine and
// the translation list for the life of the program; runs start-up and shut-down, keeps the
// per-user settings, answers the hot keys and the close query.
#pragma once

#include "app/event_log.h"
#include "app/localization.h"
#include "app/qt_engine_timer.h"
#include "protocol/com_port_adapter.h"
#include "protocol/exchange_ending_owner.h"
#include "protocol/exchange_engine.h"
#include "sensor/level_filter_parameters.h"
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
    std::filesystem::path logFile;              // "log.txt" beside the program
    std::optional<QByteArray> translationTable; // the TRANSLATION resource, if any
    std::function<std::vector<PortEntry>()> discoverPorts;
    std::string buildIdentifier = "0000";     // CRC-16 of the executable, 4 hex digits
    std::function<std::uint32_t()> tickCount; // milliseconds
    std::function<TimeOfDay()> timeOfDay = currentTimeOfDay;
};

// Title and filter of a file dialog, as the window definition has them and translation
// replaces them.
struct FileDialogTexts {
    QString title;
    QString filter;
};

class TmainForm : public QMainWindow, private EngineView, private ReadingsView {
    Q_OBJECT

public:
    explicit TmainForm(MainFormEnvironment environment, QWidget* parent = nullptr);
    ~TmainForm() override;

    Ui::TmainForm& ui() { return *ui_; }
    ExchangeEngine& engine() { return engine_; }
    Localization& localization() { return localization_; }
    EventLog& eventLog() { return *log_; }
    const LevelFilterParameters& levelFilterParameters() const { return filter_; }
    const FileDialogTexts& savetarDialog() const { return savetarDialog_; }
    const FileDialogTexts& openFlashDialog() const { return openFlashDialog_; }

    // Handlers (connected to their controls; public so that tests can drive them).
    void ReadVersionButtonClick();
    void LanguageComboBoxChange(int index);
    void clearlogButtonClick();
    void LitersTableCheckBoxClick();
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

    // EngineView
    void setCaption(const std::string& caption) override;
    void enableCommandControls(bool enabled) override;
    void enableConfigurationControls(bool enabled) override;
    void enableStartFlash(bool enabled) override;
    void enableMultiplierButton(bool enabled) override;
    void blankLevelDisplays() override;
    void resetReadingDisplays() override;
    int selectedPortIndex() const override;
    std::string selectedPortText() const override;

    // ReadingsView
    void showVersion(const VersionDisplay& version) override;
    void showMeasuringModule(const std::string& text) override;
    void showRawLevel(std::uint32_t level) override;

    MainFormEnvironment env_;
    std::unique_ptr<Ui::TmainForm> ui_;
    Localization localization_;
    std::unique_ptr<EventLog> log_;
    std::uint32_t languageId_ = kDefaultLanguageId;
    LevelFilterParameters filter_;
    std::vector<PortEntry> ports_;
    FileDialogTexts savetarDialog_;
    FileDialogTexts openFlashDialog_;
    bool destroyed_ = false;

    QtEngineTimer mainTimer_;
    QtEngineTimer scheduledPacketTimer_;
    TComPort comPort_;
    ComPortAdapter portAdapter_;
    ExchangeEngine engine_;
    ExchangeEndingOwner exchangeEndingOwner_;
    LiveReadings liveReadings_;
};

// Runs jobs of the serial port's receive thread on the Qt event loop of the main thread.
MainThreadExecutor qtMainThreadExecutor();

} // namespace vorkel
