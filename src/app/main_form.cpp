#include "app/main_form.h"

#include "app/builtin_texts.h"
#include "app/form2.h"
#include "app/settings_keys.h"
#include "ui_TmainForm.h"

#include <algorithm>
#include <climits>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace vorkel {
namespace {

namespace key = settings_key;

// The window's minimum size at the resolution it was designed for.
constexpr int kDesignMinimumWidth = 1203;
constexpr int kDesignMinimumHeight = 932;
constexpr double kDesignDpi = 144.0;

constexpr int kSensorSetupPage = 1; // the page a first start shows

const QStringList kLanguageNames = {QStringLiteral("русский"), QStringLiteral("English"),
                                    QStringLiteral("Portuguesa"), QStringLiteral("Español")};

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A stored value is used only when it is there and is an integer: anything else (edited by
// hand, a wrong type) leaves the default in place.
std::optional<int> storedInt(const QSettings& settings, const QString& name) {
    const QVariant value = settings.value(name);
    if (!value.isValid()) {
        return std::nullopt;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<int> storedIntIn(const QSettings& settings, const QString& name, int min, int max) {
    const std::optional<int> number = storedInt(settings, name);
    return number && *number >= min && *number <= max ? number : std::nullopt;
}

} // namespace

MainThreadExecutor qtMainThreadExecutor() {
    return [](std::function<void()> job) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(job),
                                  Qt::QueuedConnection);
    };
}

TmainForm::TmainForm(MainFormEnvironment environment, QWidget* parent)
    : QMainWindow(parent)
    , env_(std::move(environment))
    , ui_(std::make_unique<Ui::TmainForm>())
    , localization_(*env_.boxes)
    , comPort_(qtMainThreadExecutor())
    , portAdapter_(comPort_)
    , readingsPanel_(*ui_)
    , enginePanel_(*this, *ui_, readingsPanel_)
    , configurationPanel_(*ui_)
    , multiplierPanel_(*ui_)
    , firmwarePanel_(*ui_)
    , calibrationPanel_(*ui_, this, env_.chooseSaveFile)
    , litersPanel_(
          *ui_, litersLookup_,
          LitersPanelServices{[this](std::string_view key) { return localization_.translate(key); },
                              [this](const QString& message) { log_->writeLog(message); }})
    , portPanel_(*ui_)
    , curvePanel_(*ui_, [this](std::string_view key) { return localization_.translate(key); })
    , reportPanel_(*ui_, this, env_.chooseSaveFile)
    , engine_(mainTimer_, scheduledPacketTimer_, portAdapter_, enginePanel_,
              EngineServices{
                  [this](std::string_view key) { return localization_.translate(key); },
                  [this](const std::string& message) { log_->writeLog(fromUtf8(message)); },
                  [this](const std::string& text) { localization_.showErrorBox(fromUtf8(text)); },
                  [this] { return env_.tickCount(); }})
    , multiplier_(
          multiplierPanel_,
          MultiplierServices{
              [this](std::string_view key) { return localization_.translate(key); },
              [this] {
                  return env_.multiplierDialog ? env_.multiplierDialog()
                                               : TForm2::run(localization_, this, *env_.boxes);
              },
              [this](const std::string& text) { localization_.showWarningBox(fromUtf8(text)); }})
    , liveReadings_(
          engine_, readingsPanel_,
          ReadingsServices{[this] { return env_.tickCount(); },
                           [this] { return configuration_.fullScale(); },
                           [this] { return configuration_.frequencySpan(); },
                           [this] { return configuration_.updateRangeCaption(); },
                           [this](std::uint32_t level) { return litersLookup_.litersText(level); }})
    , configuration_(
          engine_, configurationPanel_, liveReadings_, multiplier_,
          ConfigurationServices{
              [this](std::string_view key) { return localization_.translate(key); },
              [this](const std::string& text) { localization_.showErrorBox(fromUtf8(text)); },
              [this](const std::string& title, const std::string& text) {
                  env_.boxes->selfClosingInformation(fromUtf8(title), fromUtf8(text));
              },
              [this] { return env_.tickCount(); },
              [this](std::uint32_t milliseconds) { processEventsFor(milliseconds); }})
    , firmware_(
          engine_, firmwarePanel_,
          FirmwareServices{
              [this](std::string_view key) { return localization_.translate(key); },
              [this](const std::string& message) { log_->writeLog(fromUtf8(message)); },
              [this](const std::string& text) { localization_.showErrorBox(fromUtf8(text)); },
              [this](const std::string& text) { localization_.showWarningBox(fromUtf8(text)); },
              [this] {
                  return env_.chooseFirmwareFile
                             ? env_.chooseFirmwareFile()
                             : FirmwarePanel::runOpenFlashDialog(this, openFlashDialog_.title,
                                                                 openFlashDialog_.filter);
              },
              randomFillerSource()})
    , calibrationPoints_(engine_, calibrationPanel_, calibrationServices())
    , calibrationBackup_(engine_, calibrationPoints_, calibrationPanel_, calibrationServices())
    , calibrationTable_(calibrationPanel_, calibrationServices())
    , calibrationCurve_(curvePanel_)
    , calibrationReport_(
          reportPanel_,
          ReportServices{
              [this](std::string_view key) { return localization_.translate(key); },
              [this](const std::string& text) { localization_.showWarningBox(fromUtf8(text)); },
              [this](const std::string& title, const std::string& text) {
                  return env_.boxes->confirm(fromUtf8(title), fromUtf8(text));
              },
              [this] { return calibrationPoints_.currentPoints(); },
              [this] { return env_.today ? env_.today() : systemToday(); }, systemDateSeparator,
              [this](const std::string& name) {
                  return reportPanel_.chooseReportFile(
                      name, localization_.getTranslation("rsCalibrationReport"));
              },
              renderCalibrationReport})
    , litersLookup_(systemDecimalSeparator())
    , livePorts_(engine_, portPanel_, portRefreshTimer_,
                 LivePortsServices{
                     [this] {
                         return env_.discoverPorts ? env_.discoverPorts()
                                                   : std::vector<PortEntry>{};
                     },
                     [this] { return comPort_.isOpen(); },
                     [this] { return firmware_.phase() != FirmwareTransfer::Phase::Idle; },
                     [this] {
                         firmware_.abandon();
                         enginePanel_.enableCommandControls(true);
                         engine_.enableStartFlash(true); // off while the port is gone
                     },
                     [this](std::string_view key) { return localization_.translate(key); },
                     [this](const std::string& message) { log_->writeLog(fromUtf8(message)); }}) {
    ui_->setupUi(this);
    log_ = std::make_unique<EventLog>(*ui_->logListBox, env_.logFile, env_.timeOfDay);
    savetarDialog_ = {kSavetarDialogTitle, kSavetarDialogFilter};
    openFlashDialog_ = {QStringLiteral("Выберите файл прошивки..."), QStringLiteral("*.*")};

    for (const CommandCode code : {CommandCode::CalibrateEmpty, CommandCode::CalibrateFull,
                                   CommandCode::WriteCalibration, CommandCode::ReadCalibration}) {
        engine_.setReplyOwner(code, &calibrationPoints_);
    }
    // Points read for a backup file, and points written from one.
    engine_.setReplyOwner(CommandCode::ReadCalibration, request_state::kCalibrationToFile,
                          &calibrationBackup_);
    engine_.setReplyOwner(CommandCode::WriteCalibration, request_state::kCalibrationFromFile,
                          &calibrationBackup_);
    engine_.setReplyOwner(CommandCode::ReadVersion, &liveReadings_);
    engine_.setReplyOwner(CommandCode::ReadLevel, &liveReadings_);
    engine_.setReplyOwner(CommandCode::WriteConfiguration, &configuration_);
    engine_.setReplyOwner(CommandCode::ReadConfiguration, &configuration_);
    // Code 88, and code 2 in a firmware update, the transfer registered for itself.
    engine_.setBuildIdentifier(env_.buildIdentifier);

    readingsPanel_.connectTo(liveReadings_);
    configurationPanel_.connectTo(configuration_);
    multiplierPanel_.connectTo(multiplier_);
    firmwarePanel_.connectTo(firmware_);
    calibrationPanel_.connectTo(calibrationPoints_, calibrationBackup_, calibrationTable_);
    litersPanel_.connectTo();
    curvePanel_.connectTo(calibrationCurve_);
    reportPanel_.connectTo(calibrationReport_);
    connect(ui_->clearlogButton, &QPushButton::clicked, this, &TmainForm::clearlogButtonClick);
    portPanel_.connectTo(livePorts_, env_.watchedFolders
                                         ? *env_.watchedFolders
                                         : PortWatch::systemFolders(userRuntimeDir()));

    FormCreate();
    qApp->installEventFilter(this);
}

TmainForm::~TmainForm() {
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TmainForm::FormCreate() {
    // Engine flags (request state 0, 19200 baud, searching) are the engine's initial state.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    applyMinimumSize();

    ui_->LanguageComboBox->clear();
    ui_->LanguageComboBox->addItems(kLanguageNames);

    loadSettings();

    // A language that the selector does not offer runs, and is stored, as English.
    const int languageEntry = languageIndex(languageId_);
    ui_->LanguageComboBox->setCurrentIndex(languageEntry >= 0 ? languageEntry
                                                              : languageIndex(kLanguageEnglish));
    placeLanguageSelector();

    localization_.loadTranslation(env_.translationTable, languageId_);
    if (env_.announceLogFile) {
        log_->writeLog(localization_.getTranslation("rsLogFileLocation") + ' ' +
                       QString::fromStdU16String(env_.logFile.u16string()));
    }

    fillPortSelector(env_.settings->value(key::kPort).toString());

    localization_.applyTranslation(this);
    readingsPanel_.setTrendMinutesCaption(localization_.getTranslation("rsTrendMinutes"));
    // The stored litres rows are in; built once the texts are there, since a row it leaves
    // out is told in the log. No level is converted before the port opens.
    litersPanel_.tableLoaded();
    for (auto& [dialog, name] : {std::pair{&savetarDialog_, QStringLiteral("SavetarDialog")},
                                 std::pair{&openFlashDialog_, QStringLiteral("OpenFlashDialog")}}) {
        if (localization_.list().contains((name + ".Filter").toStdString())) {
            dialog->filter = localization_.getTranslation(name + ".Filter");
        }
        if (localization_.list().contains(name.toStdString())) {
            dialog->title = localization_.getTranslation(name);
        }
    }

    engine_.recordSensorResetTime();
    // Qt paints every widget through the window's backing store: flicker-free already.
    // Not attached (the engine starts so) and no boot loader waiting: "NOT CONNECTED".
    engine_.setAwaitingFirmware(false);
    engine_.updateCaption();

    ui_->Panel1->show();
    ui_->Panel2->show();
    ui_->Panel3->show();
    ui_->helplabel->setPlainText(localization_.getTranslation("rsAbout"));
    ui_->mainPageControl->setTabVisible(ui_->mainPageControl->indexOf(ui_->technologySheet), false);
    log_->writeLog(localization_.getTranslation("rsConfiguratorLaunched"));

    liveReadings_.selectlitercontrol(ReadingControl::Percent);
    ui_->tarmaxButton->setVisible(true);
    configuration_.updateRangeCaption();
    ui_->AveragingComboBox->setCurrentIndex(0);
    liveReadings_.restartFilter(filter_);
    multiplier_.setTkoeff(multiplier_.getTKoeff());

    comPort_.DataBits = 8;
    comPort_.StopBits = sbONE;
    comPort_.Parity = ptNONE;
    comPort_.ReceiveMode = rmRAW;
    comPort_.WinQSizeIn = 16;
    comPort_.WinQSizeOut = 16;
    comPort_.OnPortClose = [this](TComPort&) { livePorts_.portClosed(); };
    comPort_.ReceiveCallBack = [this](const ByteString& data) { engine_.ReceiveData(data); };
    engine_.start();

    // Only now: choosing a language during the run is what the warning is about.
    connect(ui_->LanguageComboBox, &QComboBox::currentIndexChanged, this,
            &TmainForm::LanguageComboBoxChange);
}

void TmainForm::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    log_->writeLog(localization_.getTranslation("rsConfiguratorClosed"));
    mainTimer_.stop();
    scheduledPacketTimer_.stop();
    comPort_.Close(); // ends the receive thread before the settings are written
    saveSettings();
}

void TmainForm::applyMinimumSize() {
    const QScreen* screen = this->screen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
    setMinimumSize(static_cast<int>(kDesignMinimumWidth * dpi / kDesignDpi),
                   static_cast<int>(kDesignMinimumHeight * dpi / kDesignDpi));
    resize(minimumSize()); // the window opens at its minimum size unless a size was stored
}

void TmainForm::placeLanguageSelector() {
    // At the right end of the page tabs, clear of where a vertical scroll bar would be.
    auto* corner = new QWidget;
    auto* layout = new QHBoxLayout(corner);
    layout->setContentsMargins(0, 3, style()->pixelMetric(QStyle::PM_ScrollBarExtent), 0);
    layout->addWidget(ui_->LanguageComboBox);
    ui_->mainPageControl->setCornerWidget(corner, Qt::TopRightCorner);
}

void TmainForm::fillPortSelector(const QString& storedPort) {
    // Exact match, letter case included; no match selects nothing and opens nothing now, and
    // the stored port is opened when it appears.
    livePorts_.start(storedPort.toStdString());
    if (livePorts_.ports().empty()) {
        const QString message = localization_.getTranslation("rsComPortsNotFound");
        log_->writeLog(message);
        localization_.showErrorBox(message);
    }
}

void TmainForm::loadSettings() {
    QSettings& settings = *env_.settings;
    if (const auto language = storedInt(settings, key::kLanguage)) {
        languageId_ = static_cast<std::uint32_t>(*language);
    }
    const int technologyPage = ui_->mainPageControl->indexOf(ui_->technologySheet);
    if (const auto tab = storedIntIn(settings, key::kTab, 0, ui_->mainPageControl->count() - 1);
        tab && *tab != technologyPage) {
        // The service page is hidden at every start, so it cannot be the one shown.
        ui_->mainPageControl->setCurrentIndex(*tab);
    } else {
        ui_->mainPageControl->setCurrentIndex(kSensorSetupPage);
    }
    if (settings.contains(key::kFlashFileName)) {
        firmware_.restoreFirmwarePath(
            std::filesystem::path(settings.value(key::kFlashFileName).toString().toStdU16String()));
    }
    if (const auto show = storedInt(settings, key::kShowLiters); show && *show != 0) {
        ui_->LitersTableCheckBox->setChecked(true);
        litersPanel_.LitersTableCheckBoxClick();
    }
    litersPanel_.loadRows(settings);

    QSize size = this->size();
    if (const auto width = storedIntIn(settings, key::kWindowWidth, 1, QWIDGETSIZE_MAX)) {
        size.setWidth(std::max(*width, minimumWidth()));
    }
    if (const auto height = storedIntIn(settings, key::kWindowHeight, 1, QWIDGETSIZE_MAX)) {
        size.setHeight(std::max(*height, minimumHeight()));
    }
    resize(size);
    const auto left = storedInt(settings, key::kWindowLeft);
    const auto top = storedInt(settings, key::kWindowTop);
    // Without a stored position the system places the window; a position on a screen that is
    // no longer there would open it out of reach.
    if (left && top && QGuiApplication::screenAt(QRect(QPoint(*left, *top), size).center())) {
        move(*left, *top);
    }

    if (const auto tk = storedInt(settings, key::kMultiplier)) {
        ui_->tkoeffUpDown->setPosition(*tk); // the up-down limits it to -127..127
    }
    if (const auto n = storedIntIn(settings, key::kOutlierAllowance, 0, INT_MAX)) {
        filter_.outlierAllowance = *n;
    }
    if (const auto n = storedIntIn(settings, key::kStabilityTolerance, 0, INT_MAX)) {
        filter_.stabilityTolerance = *n;
    }
    if (const auto n = storedIntIn(settings, key::kWindowLength, 1, INT_MAX)) {
        filter_.windowLength = *n;
    }
    if (const auto n = storedIntIn(settings, key::kJumpThreshold, 0, INT_MAX)) {
        filter_.jumpThreshold = *n;
    }
}

std::uint32_t TmainForm::selectedLanguageId() const {
    const int entry = ui_->LanguageComboBox->currentIndex();
    return entry >= 0 && static_cast<std::size_t>(entry) < kSelectorLanguageCount
               ? kSelectorLanguages[entry]
               : kLanguageEnglish;
}

void TmainForm::saveSettings() {
    QSettings& settings = *env_.settings;
    settings.setValue(key::kPort, fromUtf8(livePorts_.portToStore()));
    settings.setValue(key::kFlashFileName,
                      QString::fromStdU16String(firmware_.firmwarePath().u16string()));
    settings.setValue(key::kTab, ui_->mainPageControl->currentIndex());
    settings.setValue(key::kLanguage, static_cast<int>(selectedLanguageId()));
    settings.setValue(key::kWindowLeft, x());
    settings.setValue(key::kWindowTop, y());
    settings.setValue(key::kWindowWidth, width());
    settings.setValue(key::kWindowHeight, height());
    settings.setValue(key::kOutlierAllowance, filter_.outlierAllowance);
    settings.setValue(key::kStabilityTolerance, filter_.stabilityTolerance);
    settings.setValue(key::kWindowLength, filter_.windowLength);
    settings.setValue(key::kJumpThreshold, filter_.jumpThreshold);
    settings.setValue(key::kMultiplier, ui_->tkoeffUpDown->position());
    settings.setValue(key::kShowLiters, ui_->LitersTableCheckBox->isChecked() ? 1 : 0);
    litersPanel_.storeRows(settings);
    settings.sync();
}

void TmainForm::closeEvent(QCloseEvent* event) {
    event->setAccepted(mayCloseMainWindow(engine_, [this] {
        return env_.boxes->confirm(builtin::rsWarningTitle, builtin::rsAwaitingFirmwareUpdate);
    }));
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    // Keys reach the window before the focused control, whatever that control is.
    if (event->type() == QEvent::KeyPress) {
        auto* target = qobject_cast<QWidget*>(watched);
        if (target != nullptr && target->window() == this &&
            FormKeyDown(static_cast<QKeyEvent*>(event)->key())) {
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TmainForm::FormKeyDown(int key) {
    if (key == Qt::Key_F12) {
        const int page = ui_->mainPageControl->indexOf(ui_->technologySheet);
        ui_->mainPageControl->setTabVisible(page, !ui_->mainPageControl->isTabVisible(page));
        return true;
    }
    if (key == Qt::Key_F11) {
        ui_->emptytaredit->setEnabled(!ui_->emptytaredit->isEnabled());
        ui_->fulltaredit->setEnabled(!ui_->fulltaredit->isEnabled());
        return true;
    }
    return false;
}

void TmainForm::processEventsFor(std::uint32_t milliseconds) {
    if (env_.processEventsFor) {
        env_.processEventsFor(milliseconds);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(milliseconds), &loop, &QEventLoop::quit);
    loop.exec();
}

void TmainForm::LanguageComboBoxChange(int index) {
    localization_.showWarningBox(localization_.restartWarning(index));
}

void TmainForm::clearlogButtonClick() {
    log_->clear();
}

CalibrationServices TmainForm::calibrationServices() {
    const auto chooseBackupFile = [this] {
        return calibrationPanel_.chooseBackupFile(savetarDialog_);
    };
    return CalibrationServices{
        [this](std::string_view key) { return localization_.translate(key); },
        [this](const std::string& text) { localization_.showErrorBox(fromUtf8(text)); },
        [this](const std::string& text) { localization_.showWarningBox(fromUtf8(text)); },
        [this](const std::string& title, const std::string& text) {
            return env_.boxes->confirm(fromUtf8(title), fromUtf8(text));
        },
        [this](const std::string& title, const std::string& text) {
            env_.boxes->selfClosingInformation(fromUtf8(title), fromUtf8(text));
        },
        chooseBackupFile,
        chooseBackupFile,
        [this](const std::string& name) { return calibrationPanel_.chooseExportFile(name); },
        [this] { return env_.today ? env_.today() : systemToday(); },
        systemDateSeparator,
        [this] { return liveReadings_.selectedReadingText(); },
        [this] { return configuration_.getAveraging(); }};
}

} // namespace vorkel
