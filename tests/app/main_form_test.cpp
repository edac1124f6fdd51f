// The real main window, headless: start-up, captions, settings, hot keys, closing.
#include "app/form2.h"
#include "app/main_form.h"
#include "app/settings_keys.h"
#include "support/pseudo_terminal.h"
#include "support/qt_fakes.h"
#include "support/temp_dir.h"
#include "ui_TForm2.h"
#include "ui_TmainForm.h"

#include <fstream>

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

namespace vorkel {
namespace {

namespace key = settings_key;
using test::RecordingBoxes;

class MainForm : public ::testing::Test {
protected:
    test::TempDir dir;
    QString settingsFile = QString::fromStdString((dir / "Ketrafo.conf").string());
    std::unique_ptr<QSettings> settings =
        std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
    RecordingBoxes boxes;
    std::vector<PortEntry> ports{{"COM3", (dir / "COM3").string()},
                                 {"ttyUSB0", (dir / "ttyUSB0").string(), "FT232R USB UART (FTDI)"}};
    std::optional<QByteArray> table = test::shippedTranslation();
    std::filesystem::path logFile = dir / "log.txt";
    bool announceLogFile = false;
    std::unique_ptr<TmainForm> window;
    std::optional<double> dialogVoltage;

    TmainForm& start() {
        MainFormEnvironment environment;
        environment.settings = settings.get();
        environment.boxes = &boxes;
        environment.logFile = logFile;
        environment.announceLogFile = announceLogFile;
        environment.translationTable = table;
        environment.discoverPorts = [this] { return ports; };
        environment.buildIdentifier = "3FA9";
        environment.tickCount = [] { return 5000u; };
        environment.timeOfDay = [] { return TimeOfDay{9, 5, 7, 42}; };
        environment.multiplierDialog = [this] { return dialogVoltage; };
        environment.processEventsFor = [](std::uint32_t) {};
        window = std::make_unique<TmainForm>(std::move(environment));
        return *window;
    }

    // Shut-down, then the settings as the next start reads them.
    QSettings& stopAndReread() {
        window.reset();
        settings = std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
        return *settings;
    }

    Ui::TmainForm& ui() { return window->ui(); }

    std::vector<std::string> logFileLines() {
        std::ifstream file(dir / "log.txt", std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(file, line)) {
            lines.push_back(line);
        }
        return lines;
    }
};

TEST_F(MainForm, aFirstStartIsInEnglishOnTheConfigurationPageWithNoPortChosen) {
    start();
    EXPECT_EQ(ui().LanguageComboBox->currentText(), "English");
    EXPECT_EQ(ui().mainPageControl->currentWidget(), ui().sensorsetupTabSheet);
    EXPECT_EQ(ui().comportComboBox->count(), 2);
    EXPECT_EQ(ui().comportComboBox->itemText(0), "COM3");
    EXPECT_EQ(ui().comportComboBox->currentIndex(), -1);
    EXPECT_TRUE(boxes.shown.empty()); // nothing was opened, nothing failed
    ASSERT_EQ(ui().logListBox->count(), 1);
    EXPECT_EQ(ui().logListBox->item(0)->text(), "Configurator started.");
    EXPECT_EQ(window->windowTitle(), "Configurator 1.8 CRC: 3FA9 | NOT CONNECTED");
    EXPECT_FALSE(
        ui().mainPageControl->isTabVisible(ui().mainPageControl->indexOf(ui().technologySheet)));

    ui().LitersConversionTable->appendRow("100", "10");

    // The names as other tools and older versions know them, not the program's constants.
    QSettings& stored = stopAndReread();
    // Each name, with "=value" where the value is known.
    const QStringList written =
        QStringLiteral("language=9 port= tab=1 flashfilename showLiters=0 V,1=100 L,1=10 "
                       "window.left window.top window.width window.height tk=0 "
                       "ДопустимоеЧислоВыпадающихРезИзм=1 ДопустимоеОтклонение=2 "
                       "ЧислоУсреднЗначений=3 ДопустимоеОтклонениеВыпадающеихИзмерений=20")
            .split(u' ');
    QStringList expected;
    for (const QString& entry : written) {
        const QString name = entry.section(u'=', 0, 0);
        expected << name;
        if (entry.contains(u'=')) {
            EXPECT_EQ(stored.value(name).toString(), entry.section(u'=', 1)) << entry.toStdString();
        }
    }
    QStringList names = stored.allKeys();
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
    EXPECT_EQ(logFileLines().back(), "09:05:07.042 Configurator paused\r");
}

// Nothing has been read from a sensor yet: what needs a configuration is off, the options
// show their first entries.
TEST_F(MainForm, startsWithTheControlsOfAWindowThatHasReadNothing) {
    start();
    const std::pair<QWidget*, bool> controls[] = {
        {ui().readconfButton, true},      {ui().readconfbutton2, true},
        {ui().writeconfButton, false},    {ui().writeconfButton2, false},
        {ui().tkoeffButton, false},       {ui().tkoeffUpDown, false},
        {ui().test05button, false},       {ui().AnalogmodeGroupBox, true},
        {ui().rangeRadioGroup, false},    {ui().freqoutRadioGroup, false},
        {ui().rs485rangeComboBox, false}, {ui().portspeedComboBox, false},
        {ui().mastermodeCheckBox, false},
    };
    for (const auto& [control, enabled] : controls) {
        EXPECT_EQ(control->isEnabled(), enabled) << control->objectName().toStdString();
    }
    const std::pair<int, int> selections[] = {
        {ui().outputmoderadio->itemIndex(), 0},      {ui().rangeRadioGroup->itemIndex(), 0},
        {ui().freqoutRadioGroup->itemIndex(), -1},   {ui().rs485rangeComboBox->currentIndex(), 0},
        {ui().portspeedComboBox->currentIndex(), 0}, {ui().AveragingComboBox->currentIndex(), 0},
    };
    for (std::size_t i = 0; i < std::size(selections); ++i) {
        EXPECT_EQ(selections[i].first, selections[i].second) << "selection " << i;
    }
    EXPECT_FALSE(ui().mastermodeCheckBox->isChecked());
    EXPECT_EQ(ui().AveragingComboBox->currentText(), "off");
    EXPECT_EQ(ui().rs485label->text(), "RS-485 (0...4095)");
}

TEST_F(MainForm, translatesEveryKindOfControlAtStart) {
    start();
    EXPECT_EQ(ui().addressEdit->labelText(), "Sensor address");
    EXPECT_EQ(ui().addressEdit->text(), "unread");
    EXPECT_EQ(ui().emptytaredit->labelText(), "Empty");
    EXPECT_EQ(ui().emptytaredit->text(), "0"); // no key for the content: design text stays
    EXPECT_EQ(ui().mainPageControl->tabText(0), "Sensor indications");
    EXPECT_EQ(ui().mainPageControl->tabText(4), "Service");
    EXPECT_EQ(ui().outputmoderadio->title(), "Output mode");
    EXPECT_EQ(ui().outputmoderadio->itemText(1), "frequency");
    EXPECT_EQ(ui().AveragingComboBox->itemText(0), "off");
    EXPECT_EQ(ui().AveragingComboBox->itemText(33), "128 s"); // the first of two rows
    EXPECT_EQ(ui().tarEditor->columnTitle(0), "Liters");
    EXPECT_EQ(ui().LitersConversionTable->columnTitle(0), "Values");
    EXPECT_EQ(ui().mastermodeCheckBox->text(), "auto push data");
    EXPECT_EQ(ui().tarbakGroupBox->title(), "Calibration");
    EXPECT_EQ(ui().clearlogButton->text(), "Clear logs");
    EXPECT_EQ(ui().comportLabel->text(), "Port:");
    EXPECT_EQ(ui().portspeedComboBox->itemText(0), "19200"); // no key: design text
    EXPECT_EQ(ui().izmerversioncaption->text(), "ID: IZMER CRC8");
    EXPECT_TRUE(ui().helplabel->toPlainText().startsWith("General information"));
    EXPECT_EQ(window->openFlashDialog().title, "Select firmware file...");
    EXPECT_EQ(window->openFlashDialog().filter, "*.*");
    EXPECT_EQ(window->savetarDialog().title, "Выберите имя файла"); // the table has no row
}

TEST_F(MainForm, withoutATranslationTableTheBuiltInTextsAndKeysShow) {
    table.reset();
    start();
    EXPECT_EQ(ui().mainPageControl->tabText(1), "Настройка датчика");
    EXPECT_EQ(ui().clearlogButton->text(), "Очистить журнал");
    EXPECT_EQ(ui().logListBox->item(0)->text(), "rsConfiguratorLaunched");
    EXPECT_EQ(window->windowTitle(), "rsProgram_name 1.8 CRC: 3FA9 | rsNotAttached");
    window->LanguageComboBoxChange(3);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "rsWarningTitle");
    EXPECT_EQ(boxes.shown[0].text, "");
}

TEST_F(MainForm, startsInTheStoredLanguage) {
    settings->setValue(key::kLanguage, 0x416);
    start();
    EXPECT_EQ(ui().LanguageComboBox->currentText(), "Portuguesa");
    EXPECT_EQ(window->localization().list().column(), 3);
    EXPECT_EQ(stopAndReread().value(key::kLanguage).toInt(), 0x16);
}

TEST_F(MainForm, aLanguageNoColumnListsRunsAndIsStoredAsEnglish) {
    settings->setValue(key::kLanguage, 0xC0A);
    start();
    EXPECT_EQ(ui().LanguageComboBox->currentText(), "English");
    EXPECT_EQ(ui().clearlogButton->text(), "Clear logs");
    EXPECT_EQ(stopAndReread().value(key::kLanguage).toInt(), 0x09);
}

TEST_F(MainForm, choosingALanguageWarnsInThatLanguageAndTakesEffectNextTime) {
    start();
    ui().LanguageComboBox->setCurrentIndex(3);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Warning");
    EXPECT_EQ(boxes.shown[0].text, "Para cambiar el idioma del programa, reinicie el programa");
    EXPECT_EQ(ui().clearlogButton->text(), "Clear logs"); // unchanged until the next start
    EXPECT_EQ(stopAndReread().value(key::kLanguage).toInt(), 0x40A);
}

TEST_F(MainForm, reselectsTheStoredPortByItsExactName) {
    settings->setValue(key::kPort, "ttyUSB0");
    start();
    // The entry says what the adapter is; the setting keeps the name alone.
    EXPECT_EQ(ui().comportComboBox->currentText(), "ttyUSB0 \u2014 FT232R USB UART (FTDI)");
    // It was opened (and, the device being absent, the failure was shown).
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Error!");
    EXPECT_TRUE(boxes.shown[0].text.startsWith("TCOMPORT : cannot open " +
                                               QString::fromStdString(ports[1].path) + "\r"));
    EXPECT_EQ(stopAndReread().value(key::kPort).toString(), "ttyUSB0");
}

TEST_F(MainForm, aStoredPortInAnotherLetterCaseSelectsNothing) {
    settings->setValue(key::kPort, "com3");
    start();
    EXPECT_EQ(ui().comportComboBox->currentIndex(), -1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MainForm, noSerialPortsIsLoggedAndShownOnce) {
    ports.clear();
    start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Error!");
    EXPECT_EQ(boxes.shown[0].text, "No COM ports detected! Proper operation is impossible.");
    ASSERT_EQ(ui().logListBox->count(), 2);
    EXPECT_EQ(ui().logListBox->item(1)->text(),
              "No COM ports detected! Proper operation is impossible.");
    EXPECT_EQ(ui().comportComboBox->count(), 0);
}

TEST_F(MainForm, storesTheLitersTableWithoutGapsAndForgetsOlderRows) {
    // An earlier run stored five rows.
    for (int n = 1; n <= 5; ++n) {
        settings->setValue(key::litersValue(n), QString::number(n * 100));
        settings->setValue(key::litersLiters(n), QString::number(n * 10));
    }
    start();
    TValueListEditor& grid = *ui().LitersConversionTable;
    ASSERT_EQ(grid.rowCount(), 5);
    // Rows 1 and 3 complete, row 2 half empty, rows 4 and 5 gone.
    grid.setValue(1, "");
    grid.removeRowAt(4);
    grid.removeRowAt(3);
    QSettings& stored = stopAndReread();
    EXPECT_EQ(stored.value(key::litersValue(1)).toString(), "100");
    EXPECT_EQ(stored.value(key::litersLiters(1)).toString(), "10");
    EXPECT_EQ(stored.value(key::litersValue(2)).toString(), "300");
    EXPECT_EQ(stored.value(key::litersLiters(2)).toString(), "30");
    EXPECT_FALSE(stored.contains(key::litersValue(3)));
    EXPECT_FALSE(stored.contains(key::litersLiters(3)));

    // The next start reads just those two.
    start();
    EXPECT_EQ(ui().LitersConversionTable->rowCount(), 2);
    EXPECT_EQ(ui().LitersConversionTable->key(1), "300");
}

TEST_F(MainForm, skipsStoredLitersRowsWithAnEmptySide) {
    settings->setValue(key::litersValue(1), "100");
    settings->setValue(key::litersLiters(1), "");
    settings->setValue(key::litersValue(2), "200");
    settings->setValue(key::litersLiters(2), "20");
    start();
    ASSERT_EQ(ui().LitersConversionTable->rowCount(), 1);
    EXPECT_EQ(ui().LitersConversionTable->key(0), "200");
}

TEST_F(MainForm, restoresWhatWasStored) {
    settings->setValue(key::kTab, 2);
    settings->setValue(key::kFlashFileName, "/home/me/<i>fw</i>.bin"); // a name, not markup
    settings->setValue(key::kShowLiters, 1);
    settings->setValue(key::kMultiplier, -5);
    settings->setValue(key::kWindowWidth, 2000);
    settings->setValue(key::kWindowHeight, 1000);
    settings->setValue(key::kWindowLength, 7);
    start();
    EXPECT_EQ(ui().mainPageControl->currentWidget(), ui().configsheet);
    EXPECT_EQ(ui().flashfileedit->text(), "/home/me/<i>fw</i>.bin");
    EXPECT_EQ(ui().flashfileedit->textFormat(), Qt::PlainText);
    EXPECT_EQ(ui().flashfileedit->toolTip(), Qt::convertFromPlainText("/home/me/<i>fw</i>.bin"));
    EXPECT_TRUE(ui().LitersTableCheckBox->isChecked());
    EXPECT_FALSE(ui().LitersIndicator->isHidden());
    EXPECT_EQ(ui().tkoeffUpDown->position(), -5);
    EXPECT_EQ(window->size(), QSize(2000, 1000));
    EXPECT_EQ(window->levelFilterParameters().windowLength, 7);
    QSettings& stored = stopAndReread();
    EXPECT_EQ(stored.value(key::kTab).toInt(), 2);
    EXPECT_EQ(stored.value(key::kMultiplier).toInt(), -5);
    EXPECT_EQ(stored.value(key::kShowLiters).toInt(), 1);
    EXPECT_EQ(stored.value(key::kWindowLength).toInt(), 7);
}

TEST_F(MainForm, restoresThePositionOnlyWhereAScreenShowsIt) {
    settings->setValue(key::kWindowLeft, 40);
    settings->setValue(key::kWindowTop, 30);
    start();
    EXPECT_EQ(window->pos(), QPoint(40, 30));
    window.reset();

    settings->setValue(key::kWindowLeft, 50000); // a monitor that is gone
    start();
    EXPECT_NE(window->pos().x(), 50000);
}

TEST_F(MainForm, valuesOfTheWrongTypeOrOutOfRangeFallBackToTheirDefaults) {
    settings->setValue(key::kTab, 9);
    settings->setValue(key::kLanguage, "abc");
    settings->setValue(key::kWindowLength, 0);
    settings->setValue(key::kStabilityTolerance, "two");
    settings->setValue(key::kMultiplier, "many");
    settings->setValue(key::kShowLiters, "yes");
    settings->setValue(key::kWindowWidth, -3);
    start();
    EXPECT_EQ(ui().mainPageControl->currentWidget(), ui().sensorsetupTabSheet);
    EXPECT_EQ(ui().LanguageComboBox->currentText(), "English");
    EXPECT_EQ(window->levelFilterParameters().windowLength, 3);
    EXPECT_EQ(window->levelFilterParameters().stabilityTolerance, 2);
    EXPECT_EQ(ui().tkoeffUpDown->position(), 0);
    EXPECT_FALSE(ui().LitersTableCheckBox->isChecked());
    EXPECT_GE(window->width(), window->minimumWidth());
}

TEST_F(MainForm, aStoredMultiplierBeyondItsRangeIsLimitedToTheNearestEnd) {
    settings->setValue(key::kMultiplier, 500);
    start();
    EXPECT_EQ(ui().tkoeffUpDown->position(), 127);
    EXPECT_EQ(ui().tkoefflabel->text(), "113.37 %");
    EXPECT_EQ(stopAndReread().value(key::kMultiplier).toInt(), 127);
}

TEST_F(MainForm, theServicePageIsHiddenAtEveryStartEvenWhenItWasTheLastOne) {
    settings->setValue(key::kTab, 4);
    start();
    EXPECT_EQ(ui().mainPageControl->currentWidget(), ui().sensorsetupTabSheet);
}

TEST_F(MainForm, hotKeysWorkWithFocusInAnEditAndAnyModifier) {
    start();
    window->show();
    QApplication::setActiveWindow(window.get());
    ui().mainPageControl->setCurrentWidget(ui().sensorSheet);
    ui().carnumberedit->edit()->setFocus();
    const int service = ui().mainPageControl->indexOf(ui().technologySheet);

    QTest::keyClick(ui().carnumberedit->edit(), Qt::Key_F12);
    EXPECT_TRUE(ui().mainPageControl->isTabVisible(service));
    QTest::keyClick(ui().carnumberedit->edit(), Qt::Key_F12,
                    Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_FALSE(ui().mainPageControl->isTabVisible(service));
    EXPECT_TRUE(ui().carnumberedit->text().isEmpty()); // the edit did not get the keys

    // F11 inverts each calibration edit on its own.
    ui().emptytaredit->setEnabled(true);
    QTest::keyClick(ui().carnumberedit->edit(), Qt::Key_F11, Qt::AltModifier);
    EXPECT_FALSE(ui().emptytaredit->isEnabled());
    EXPECT_TRUE(ui().fulltaredit->isEnabled());
    QTest::keyClick(ui().carnumberedit->edit(), Qt::Key_F11);
    EXPECT_TRUE(ui().emptytaredit->isEnabled());
    EXPECT_FALSE(ui().fulltaredit->isEnabled());
}

TEST_F(MainForm, closingIsRefusedDuringAFirmwareTransferOnAnOpenPortOnly) {
    test::PseudoTerminal line;
    ports[0].path = line.path();
    settings->setValue(key::kPort, "COM3");
    start();
    window->show();
    ASSERT_TRUE(window->engine().isPortOpen());
    window->engine().forceRequestState(request_state::kFirmwareUpdate);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(boxes.confirmations.empty());
    // With the port gone nothing runs that closing could cut: never a window that cannot close.
    ui().comportComboBox->setCurrentIndex(1); // a port that cannot be opened
    window->engine().comportComboBoxChange();
    EXPECT_FALSE(window->engine().isPortOpen());
    window->engine().forceRequestState(request_state::kFirmwareUpdate);
    EXPECT_TRUE(window->close());
}

TEST_F(MainForm, closingWhileTheBootLoaderWaitsAsksInRussian) {
    start();
    window->show();
    window->engine().setAwaitingFirmware(true);
    boxes.confirmAnswer = false;
    EXPECT_FALSE(window->close());
    ASSERT_EQ(boxes.confirmations.size(), 1u);
    EXPECT_EQ(boxes.confirmations[0].title, "Предупреждение");
    EXPECT_EQ(boxes.confirmations[0].text, "Датчик ожидает прошивки!\r\nВы уверены?");
    EXPECT_TRUE(window->isVisible());

    boxes.confirmAnswer = true;
    EXPECT_TRUE(window->close());
    stopAndReread();
    EXPECT_EQ(logFileLines().back(), "09:05:07.042 Configurator paused\r");
}

// --- the binders: each control reaches its behaviour, each value its control ---------------

ByteString replyBytes(std::uint8_t code, FrameData payload) {
    Frame frame{kReplyStart, code};
    std::copy(payload.begin(), payload.end(), frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return ByteString(frame.begin(), frame.end());
}

TEST_F(MainForm, theVersionButtonReadsTheVersionsOnlyWhileTheEngineIsIdle) {
    start();
    window->engine().forceRequestState(request_state::kLevelPoll);
    ui().ReadVersionButton->click();
    EXPECT_TRUE(ui().ReadVersionButton->isEnabled()); // nothing happened
    window->engine().forceRequestState(request_state::kIdle);
    ui().ReadVersionButton->click();
    EXPECT_FALSE(ui().ReadVersionButton->isEnabled());
    EXPECT_EQ(window->engine().requestState(), request_state::kVersionRead);
}

TEST_F(MainForm, aLostSensorOrAReopenedPortStartsANewTrend) {
    start();
    const auto level = [this] {
        window->engine().forceRequestState(request_state::kIdle);
        window->engine().ReceiveData(replyBytes(0x05, {0x00, 0x08, 22, 0, 0}));
        return window->liveReadings().trend().size();
    };
    ASSERT_EQ(level(), 1u);
    window->engine().setAttached(false); // an unanswered poll, a pulled adapter
    EXPECT_EQ(window->liveReadings().trend().size(), 0u);
    ASSERT_EQ(level(), 1u);
    ui().comportComboBox->setCurrentIndex(1); // a port reopened, here one that cannot be
    window->engine().comportComboBoxChange();
    EXPECT_EQ(window->liveReadings().trend().size(), 0u);
}

TEST_F(MainForm, aConfigurationReadFillsEveryControlOfBothPages) {
    start();
    window->engine().forceRequestState(request_state::kIdle);
    ui().readconfbutton2->click();
    EXPECT_EQ(window->engine().requestState(), request_state::kConfigurationRead);
    window->engine().ReceiveData(replyBytes(0x59, {21, 1, 3, 1, 167}));
    window->engine().ReceiveData(replyBytes(0x02, {0x3D, 0x01, 7, 0x85, 9}));
    EXPECT_EQ(ui().ProgramVersionLabel->text(), "1.21");
    EXPECT_EQ(ui().IzmerVersionLabel->text(), "167");
    EXPECT_EQ(ui().outputmoderadio->itemIndex(), 1);
    EXPECT_EQ(ui().freqoutRadioGroup->itemIndex(), 1);
    EXPECT_EQ(ui().rangeRadioGroup->itemIndex(), 1);
    EXPECT_TRUE(ui().mastermodeCheckBox->isChecked());
    EXPECT_EQ(ui().rs485rangeComboBox->currentIndex(), 1);
    EXPECT_EQ(ui().portspeedComboBox->currentIndex(), 1);
    EXPECT_EQ(ui().unizhUpDown->position(), 1);
    EXPECT_EQ(ui().uverhEdit->text(), "0");
    EXPECT_EQ(ui().actualrangeLabel->text(), " [ REVERSE] from2.50V to 0.00V");
    EXPECT_EQ(ui().addressEdit->text(), "7");
    EXPECT_EQ(ui().tkoeffUpDown->position(), -5);
    EXPECT_EQ(ui().tkoefflabel->text(), "99.47 %");
    EXPECT_EQ(ui().AveragingComboBox->currentText(), "9 s");
    EXPECT_EQ(ui().rs485label->text(), "RS-485\r\n(0..1023)");
    EXPECT_TRUE(ui().writeconfButton->isEnabled());
    EXPECT_TRUE(ui().writeconfButton2->isEnabled());
    EXPECT_TRUE(ui().tkoeffButton->isEnabled());
    EXPECT_TRUE(ui().rangeRadioGroup->isEnabled()); // frequency output
    EXPECT_FALSE(ui().AnalogmodeGroupBox->isEnabled());
    EXPECT_TRUE(ui().portspeedComboBox->isEnabled()); // program version x.21
}

TEST_F(MainForm, theRangeUpDownsMoveTheirHiddenEditsAndTheCaption) {
    start();
    const auto buttons = ui().uverhUpDown->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 2);
    ui().uverhUpDown->setEnabled(true);
    buttons[0]->click(); // down: 15 -> 14
    EXPECT_EQ(ui().uverhEdit->text(), "14");
    EXPECT_EQ(ui().actualrangeLabel->text(), " from 0.00V to 18.75V");
    EXPECT_EQ(window->configuration().getU(), 0xE0);
}

TEST_F(MainForm, theAddressEditKeepsOnlyDigits) {
    start();
    ui().addressEdit->edit()->clear();
    QTest::keyClicks(ui().addressEdit->edit(), "1a2");
    EXPECT_EQ(ui().addressEdit->text(), "12");
}

TEST_F(MainForm, clickingAReadingSelectsItAndTheTemperatureSelectsTheFrequency) {
    start();
    const QColor selected = QApplication::palette().color(QPalette::Inactive, QPalette::Highlight);
    EXPECT_EQ(window->liveReadings().selectedReading(), ReadingControl::Percent);
    EXPECT_EQ(ui().levelpct->palette().color(QPalette::Window), selected);
    QTest::mouseClick(ui().tempLabel, Qt::LeftButton);
    EXPECT_EQ(window->liveReadings().selectedReading(), ReadingControl::Frequency);
    EXPECT_EQ(ui().levelfreq->palette().color(QPalette::Window), selected);
    EXPECT_EQ(ui().levelpct->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
    QTest::mouseClick(ui().levelRaw, Qt::LeftButton);
    EXPECT_EQ(window->liveReadings().selectedReadingText(), ui().levelRaw->text().toStdString());
}

TEST_F(MainForm, theMultiplierButtonAppliesTheDialogsVoltageAndWarns) {
    dialogVoltage = 19.0;
    start();
    window->multiplier().tkoeffButtonClick();
    EXPECT_EQ(ui().tkoeffUpDown->position(), 50);
    EXPECT_EQ(ui().tkoefflabel->text(), "105.26 %");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title.trimmed(), "Warning");
    EXPECT_TRUE(boxes.shown[0].text.startsWith("Multiplier recomputed."));
}

TEST_F(MainForm, theMultiplierDialogRefusesAVoltageOutside18To22AndTakesEnter) {
    start();
    TForm2 dialog(window->localization(), window.get(), &boxes);
    QLineEdit* entry = dialog.ui().TKULabeledEdit->edit();
    QTest::keyClicks(entry, "25");
    dialog.ui().TKCalculateButton->click();
    ASSERT_EQ(boxes.notices.size(), 1u);
    EXPECT_EQ(boxes.notices[0].title, QApplication::applicationName());
    EXPECT_EQ(boxes.notices[0].text, "Введено: 25\r\n Enter a number from 18 to 22!");
    EXPECT_FALSE(dialog.isAccepted());
    entry->clear();
    QTest::keyClicks(entry, "19,5");
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_TRUE(dialog.isAccepted());
    EXPECT_DOUBLE_EQ(dialog.measuredVoltage(), 19.5);
    EXPECT_EQ(boxes.notices.size(), 1u);
}

TEST_F(MainForm, theLogShowsTheNewestFirstAndTheFileKeepsTheOrder) {
    start();
    window->eventLog().writeLog("A");
    window->eventLog().writeLog("B");
    window->eventLog().writeLog("C");
    EXPECT_EQ(ui().logListBox->item(0)->text(), "C");
    EXPECT_EQ(ui().logListBox->item(2)->text(), "A");
    const std::vector<std::string> lines = logFileLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "09:05:07.042 Configurator started.\r");
    EXPECT_EQ(lines[3], "09:05:07.042 C\r");

    window->clearlogButtonClick();
    EXPECT_EQ(ui().logListBox->count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "log.txt"));
    window->eventLog().writeLog("D");
    EXPECT_EQ(logFileLines(), std::vector<std::string>{"09:05:07.042 D\r"});
}

TEST_F(MainForm, aLogFileThatCannotBeWrittenLosesItsLinesSilently) {
    logFile = dir / "no such folder" / "log.txt";
    start();
    window->eventLog().writeLog("A");
    EXPECT_EQ(ui().logListBox->count(), 2);
    EXPECT_EQ(ui().logListBox->item(0)->text(), "A");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(logFile));
}

// A path need not be valid text: a home folder named in Latin-1 under a UTF-8 system, a stored
// file name with half of a UTF-16 pair. Such a path is shown as well as it can be, and used as
// it is; the start goes on.
TEST_F(MainForm, pathsThatAreNoValidTextDoNotEndTheStart) {
    std::filesystem::create_directory(dir / "j\xF6rg");
    logFile = dir / "j\xF6rg" / "log.txt";
    announceLogFile = true;
    settings->setValue(key::kFlashFileName, QStringLiteral("/fw") + QChar(0xD800) + ".bin");
    ASSERT_NO_THROW(start());
    ASSERT_EQ(ui().logListBox->count(), 2);
    const QString announced = ui().logListBox->item(1)->text(); // the first line, oldest
    EXPECT_TRUE(announced.endsWith(QStringLiteral("j\uFFFDrg/log.txt"))) << announced.toStdString();
    EXPECT_TRUE(std::filesystem::exists(logFile));
    EXPECT_TRUE(ui().flashfileedit->text().startsWith("/fw"));
}

} // namespace
} // namespace vorkel
