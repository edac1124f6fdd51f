// Calibration in the real window against the virtual sensor: the points read, taken by the
// sensor at its current level, typed and written, saved to a file and written into another
// sensor; a calibration table built while the level rises and exported in every format; litres
// following the level. The file dialogs are answered by the test. Real timers: the limits are
// generous and only the order of events is checked.
#include "app/calibration_panel.h"
#include "app/liters_panel.h"
#include "app/settings_keys.h"
#include "support/window_end_to_end.h"

#include <algorithm>
#include <deque>
#include <fstream>

#include <QApplication>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kSlack{5000}; // a slow (sanitizer) build on busy cores
// The sensor restarts after a write of the points: silent, then 2 s in its boot loader.
constexpr std::chrono::milliseconds kRestart{8000};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class CalibrationEndToEnd : public test::WindowEndToEnd {
protected:
    std::vector<SaveFileDialog> dialogs;           // as shown, in order
    std::deque<std::optional<ChosenFile>> answers; // one per dialog; cancelled when none left

    void startSensor(std::vector<std::string> options, const std::string& traceName = "trace") {
        trace = dir / (traceName + ".txt");
        options.insert(options.end(), {"--wander", "0"});
        WindowEndToEnd::startSensor(std::move(options));
    }
    // Also waits until the sensor is attached.
    void startConfigurator() {
        WindowEndToEnd::startConfigurator();
        ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSlack));
    }
    void addSeams(MainFormEnvironment& environment) override {
        environment.chooseSaveFile = [this](const SaveFileDialog& dialog) {
            dialogs.push_back(dialog);
            std::optional<ChosenFile> answer;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            return answer;
        };
        environment.today = [] { return CalendarDate{2026, 12, 6}; };
    }

    // The sensor restarted after a write: it went silent, and answers again.
    void waitForRestart() {
        ASSERT_TRUE(waitFor([&] { return !connected(); }, kRestart + kSlack));
        ASSERT_TRUE(waitFor([&] { return connected(); }, kRestart + kSlack));
    }
    void clickBetweenExchanges(QPushButton* button) {
        ASSERT_TRUE(waitFor([&] { return idle() && button->isEnabled(); }, kSlack));
        button->click();
    }
    void setLevel(int level) {
        sim->type("level " + std::to_string(level) + "\n");
        ASSERT_TRUE(
            waitFor([&] { return ui().levelRaw->text() == QString::number(level); }, kSlack));
    }
    bool pointsShown(const QString& empty, const QString& full) {
        return ui().emptytaredit->text() == empty && ui().fulltaredit->text() == full;
    }
    // The commands' codes and data, without the checksum.
    std::vector<std::string> codes() const {
        std::vector<std::string> result;
        for (const std::string& line : commands()) {
            result.push_back(line.substr(6, 17));
        }
        return result;
    }
};

TEST_F(CalibrationEndToEnd, theSensorTakesItsCurrentLevelAsFullAndAsEmpty) {
    // 10 measurement steps per level step: level 3000 is measurement 30000.
    startSensor({"--empty", "0", "--full", "40950", "--level", "3000"});
    startConfigurator();
    EXPECT_FALSE(ui().tarmaxButton->isEnabled());
    clickBetweenExchanges(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return pointsShown("0", "40950"); }, kSlack));
    EXPECT_TRUE(ui().tarmaxButton->isEnabled());
    EXPECT_TRUE(ui().writetar2Button->isEnabled());

    clickBetweenExchanges(ui().tarmaxButton);
    ASSERT_TRUE(waitFor([&] { return pointsShown("0", "30000"); }, kSlack));
    // Drained to a fifth: 30000 / 4095 measurement steps per level step, level 819 is 6000.
    setLevel(819);
    clickBetweenExchanges(ui().tar0Button);
    ASSERT_TRUE(waitFor([&] { return pointsShown("6000", "30000"); }, kSlack));
    EXPECT_TRUE(ui().tarmaxButton->isEnabled()); // the read-back enables them again

    EXPECT_EQ(codes(), (std::vector<std::string>{"57 00 00 00 00 00", "04 00 00 00 00 00",
                                                 "57 00 00 00 00 00", "03 00 00 00 00 00",
                                                 "57 00 00 00 00 00"}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(boxes.informations.empty()); // calibrating shows nothing of its own
}

TEST_F(CalibrationEndToEnd, typedPointsAreWrittenAndReadBackAfterTheRestart) {
    startSensor({});
    startConfigurator();
    clickBetweenExchanges(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return pointsShown("0", "65535"); }, kSlack));
    window->FormKeyDown(Qt::Key_F11);
    ASSERT_TRUE(ui().emptytaredit->isEnabled());

    ui().emptytaredit->edit()->setText("12x");
    EXPECT_EQ(ui().emptytaredit->edit()->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Highlight));
    clickBetweenExchanges(ui().writetar2Button); // refused: nothing is sent
    ui().emptytaredit->edit()->setText("0123");
    EXPECT_EQ(ui().emptytaredit->edit()->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Base));
    ui().fulltaredit->edit()->setText("$B26E");
    clickBetweenExchanges(ui().writetar2Button);
    EXPECT_TRUE(pointsShown("123", "45678")); // normalised before sending

    ASSERT_TRUE(waitFor([&] { return boxes.informations.size() == 1; }, kSlack));
    EXPECT_EQ(boxes.informations[0].text.toStdString(),
              "Calibration data written to device\r\n Sensor has been reset");
    EXPECT_FALSE(ui().writetar2Button->isEnabled());
    EXPECT_FALSE(ui().tar0Button->isEnabled());

    waitForRestart();
    clickBetweenExchanges(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return pointsShown("123", "45678"); }, kSlack));
    EXPECT_EQ(codes(), (std::vector<std::string>{"57 00 00 00 00 00", "56 00 00 7B B2 6E",
                                                 "57 00 00 00 00 00"}));
    EXPECT_TRUE(boxes.confirmations.empty());
}

TEST_F(CalibrationEndToEnd, pointsSavedToAFileAreWrittenIntoAnotherSensor) {
    // Empty 78934 and full 161946: the record 12 34 56 78 9A.
    startSensor({"--empty", "78934", "--full", "161946"}, "first");
    startConfigurator();
    const std::filesystem::path backup = dir / "cal";
    answers.push_back(ChosenFile{backup, 1});
    clickBetweenExchanges(ui().readtarButton);
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(backup); }, kSlack));
    EXPECT_EQ(readFile(backup), "\x12\x34\x56\x78\x9A");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Выберите имя файла");
    EXPECT_EQ(dialogs[0].filter, "Двоичные файлы|*.bin");
    EXPECT_FALSE(dialogs[0].askBeforeReplacing);
    EXPECT_TRUE(dialogs[0].nameAsTyped);
    EXPECT_TRUE(pointsShown("0", "65535")); // the edits are not the backup's business
    window.reset();
    sim.reset();

    startSensor({}, "second"); // the factory points 0 and 65535
    startConfigurator();
    answers.push_back(ChosenFile{backup, 1});
    clickBetweenExchanges(ui().writetarButton);
    ASSERT_TRUE(waitFor([&] { return boxes.informations.size() == 1; }, kSlack));
    waitForRestart();
    clickBetweenExchanges(ui().readtar2Button);
    ASSERT_TRUE(waitFor([&] { return pointsShown("78934", "161946"); }, kSlack));
    EXPECT_EQ(codes(), (std::vector<std::string>{"56 12 34 56 78 9A", "57 00 00 00 00 00"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CalibrationEndToEnd, aTableTakenWhileTheTankFillsIsExportedInEveryFormat) {
    startSensor({"--level", "100"});
    startConfigurator();
    emit ui().levelRaw->clicked(); // the raw level goes into the table
    ui().carnumberedit->setText("A/1");
    ui().companynameedit->setText("X");
    ui().dutnumberedit->setText("7");
    ui().dutlengthedit->setText("800");
    ui().AveragingComboBox->setCurrentIndex(8); // "9 s"

    TValueListEditor& grid = *ui().tarEditor;
    const int levels[] = {100, 900, 1700, 2500, 3300};
    for (int step = 0; step < 5; ++step) {
        setLevel(levels[step]);
        ASSERT_TRUE(grid.setKey(grid.currentRow(), QString::number(step * 10) + ",5"));
        ui().TarGetLevelButton->click();
    }
    // Newest on top, below the empty row that waits for the next volume.
    ASSERT_EQ(grid.rowCount(), 6);
    EXPECT_EQ(grid.currentRow(), 0);
    EXPECT_EQ(grid.key(1), "40,5");
    EXPECT_EQ(grid.value(1), "3300");
    EXPECT_EQ(grid.value(5), "100");

    const std::string separator = systemDateSeparator();
    const std::string date = "12" + separator + "06" + separator + "2026";
    const std::string rows[] = {"100", "900", "1700", "2500", "3300"};
    std::string vorkel, fort, txt, csv, values;
    for (int k = 0; k < 5; ++k) {
        const std::string liters = std::to_string(k * 10);
        vorkel += std::to_string(k + 1) + "." + rows[k] + "-" + liters + ",5;\r\n";
        fort += rows[k] + ":" + liters + ",5;";
        txt += rows[k] + " " + liters + ".5\r\n";
        csv += rows[k] + ";" + liters + ".5\r\n";
        values += "<value code=\"" + rows[k] + "\">" + liters + ".5</value>\r\n";
    }
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF8\"?><tns:vehicle "
        "xmlns:tns=\"http://schemes.omnicomm.ru/vehicle\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://schemes.omnicomm.ru/vehicle "
        "http://schemes.omnicomm.ru/vehicle/vehicle.xsd\">\r\n"
        "<id>A/1</id>\r\n<calibrationDate>" +
        date +
        "</calibrationDate>\r\n<approximationBufferLength>9</approximationBufferLength>\r\n"
        "<fillThreshold>0</fillThreshold>\r\n<drainThreshold>0</drainThreshold>\r\n"
        "<dutyConsumption>0</dutyConsumption>\r\n<roughFilterLength>0</roughFilterLength>\r\n"
        "<fineFilterLength>0</fineFilterLength>\r\n<sensor number=\"7\">\r\n" +
        values + std::string(omnicomm::kClosingLine) + "\r\n";
    const std::pair<std::string, std::string> expected[] = {{"vorkel.txt", vorkel + "6.-;\r\n"},
                                                            {"fort.txt", fort + ":;\r\n"},
                                                            {"wialon.txt", txt + " \r\n"},
                                                            {"wialon.csv", csv + ";\r\n"},
                                                            {"omnicomm.xml", xml}};

    for (int position = 1; position <= 5; ++position) {
        const auto& [name, content] = expected[position - 1];
        answers.push_back(ChosenFile{dir / name, position});
        ui().savetableButton->click();
        EXPECT_EQ(readFile(dir / name), content) << name;
    }
    ASSERT_EQ(dialogs.size(), 5u);
    EXPECT_EQ(dialogs[0].title, "Выберите файл тарировки:");
    EXPECT_EQ(dialogs[0].filter, kSavetableDialogFilter);
    std::string proposed = "A/1-X-7-" + date + "-800";
    std::replace(proposed.begin(), proposed.end(), '/', '_');
    EXPECT_EQ(dialogs[0].proposedName.toStdString(), proposed);
    EXPECT_TRUE(dialogs[0].askBeforeReplacing);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CalibrationEndToEnd, litresFollowTheLevelThroughTheConversionTable) {
    settings.setValue(settings_key::litersValue(1), "1000");
    settings.setValue(settings_key::litersLiters(1), "50");
    settings.setValue(settings_key::litersValue(2), "2000");
    settings.setValue(settings_key::litersLiters(2), "150");
    settings.setValue(settings_key::kShowLiters, 1);
    startSensor({"--level", "500"});
    startConfigurator();
    EXPECT_FALSE(ui().LitersIndicator->isHidden());
    const QString point = QLocale::system().decimalPoint();
    const auto liters = [&](const char* whole) { return QString(whole) + point + "000"; };
    ASSERT_TRUE(waitFor([&] { return ui().LitersIndicator->text() == liters("25"); }, 4s + kSlack));

    sim->type("level 1500\n");
    ASSERT_TRUE(
        waitFor([&] { return ui().LitersIndicator->text() == liters("100"); }, 4s + kSlack));
    // Above the last key the display keeps its text; a new row extends the table at once.
    sim->type("level 2500\n");
    ASSERT_TRUE(waitFor([&] { return ui().averagedlevelEdit->text() == "2500"; }, 4s + kSlack));
    EXPECT_EQ(ui().LitersIndicator->text(), liters("100"));
    ui().LitersConversionTable->appendRow("3000", "200");
    ASSERT_TRUE(waitFor([&] { return ui().LitersIndicator->text() == liters("175"); }, kSlack));

    // Unchecked, the display hides; the conversion goes on.
    ui().LitersTableCheckBox->click();
    EXPECT_TRUE(ui().LitersIndicator->isHidden());
    ui().LitersConversionTable->setValue(2, "300");
    ASSERT_TRUE(waitFor([&] { return ui().LitersIndicator->text() == liters("225"); }, kSlack));
    window.reset(); // the box and the rows are stored at shut-down
    EXPECT_EQ(settings.value(settings_key::kShowLiters).toInt(), 0);
    EXPECT_EQ(settings.value(settings_key::litersValue(3)).toString(), "3000");
}

} // namespace
} // namespace vorkel
