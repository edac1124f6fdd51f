// The calibration binders' own rules: the date separator taken from the system's date format,
// the dialogs' filters in Qt's form, the litres table's keys that are not integers, rows out of
// order coloured in the grid and asked about before an export, and the report as a PDF.
#include "app/calibration_panel.h"
#include "app/main_form.h"
#include "app/settings_keys.h"
#include "calibration/table_export.h"
#include "support/qt_fakes.h"
#include "support/temp_dir.h"
#include "ui_TmainForm.h"

#include <fstream>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QTimer>
#include <QXmlStreamReader>

namespace vorkel {
namespace {

// An importer reads the vehicle file with an XML parser: the user's texts must come back as
// typed, whatever characters they hold.
TEST(OmnicommExport, readsBackWithAnXmlParser) {
    const std::string xml = omnicommXml({{"1,5", "1<2&3"}, {"", ""}, {"4095", "80"}},
                                        {"A&B <1>", "7\"8", "12/06/2026", 9});
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    QStringList values;
    QString id;
    QString sensorNumber;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (reader.name() == u"id") {
            id = reader.readElementText();
        } else if (reader.name() == u"sensor") {
            sensorNumber = reader.attributes().value(QStringLiteral("number")).toString();
        } else if (reader.name() == u"value") {
            const QString code = reader.attributes().value(QStringLiteral("code")).toString();
            values << code + "=" + reader.readElementText();
        }
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(id, "A&B <1>");
    EXPECT_EQ(sensorNumber, "7\"8");
    EXPECT_EQ(values, (QStringList{"80=4095", "1<2&3=1.5"}));
}

TEST(DateSeparator, isTheOneBetweenNumericFields) {
    const std::pair<const char*, const char*> cases[] = {
        {"dd.MM.yyyy", "."},   {"M/d/yy", "/"},     {"yyyy-MM-dd", "-"}, {"yy. M. d.", "."},
        {"d.MM.yy 'г'.", "."}, {"d MMM yyyy", "/"}, {"dd MM yyyy", "/"}, {"ddd dd.MM.yyyy", "."},
        {"yyyyMMdd", "/"},     {"'d'", "/"},        {"dd'.'MM", "/"},    {"", "/"},
    };
    for (const auto& [format, separator] : cases) {
        EXPECT_EQ(dateSeparatorOf(QString::fromUtf8(format)), separator) << format;
    }
    EXPECT_EQ(dateSeparatorOf(QLocale::c().dateFormat(QLocale::ShortFormat)), "/");
}

TEST(FileDialogFilters, becomeQtNameFilters) {
    EXPECT_EQ(qtNameFilters(kSavetableDialogFilter),
              (QStringList{"Файлы таблиц VORKEL (*.txt)", "Файлы таблиц FORT (*.txt)",
                           "Файлы WIALON TXT (*.txt)", "Файлы WIALON CSV (*.csv)",
                           "Файлы ОМНИКОМ XML (*.xml)"}));
    EXPECT_EQ(qtNameFilters(kSavetarDialogFilter), QStringList{"Двоичные файлы (*.bin)"});
    EXPECT_EQ(qtNameFilters("All|*.*"), QStringList{"All (*)"});
    EXPECT_EQ(qtNameFilters("*.*"), QStringList{"*"});
}

TEST(SaveFileDialogs, answerThePathAsChosenAndThePositionOfTheChosenFilter) {
    test::TempDir dir;
    const QString path = QString::fromStdString((dir / "report.csv").string());
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), kSavetableDialogTitle);
        dialog->selectNameFilter(dialog->nameFilters().value(3)); // WIALON CSV
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::optional<ChosenFile> chosen = runSaveFileDialog(
        nullptr, {kSavetableDialogTitle, kSavetableDialogFilter, "proposed", true});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, dir / "report.csv");
    EXPECT_EQ(chosen->filterPosition, 4);

    // The backup's name stays as typed on every platform: Qt's own dialog, without a suffix.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
        dialog->selectFile(QString::fromStdString((dir / "cal").string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    const SaveFileDialog backup{kSavetarDialogTitle, kSavetarDialogFilter, {}, false, true};
    EXPECT_EQ(runSaveFileDialog(nullptr, backup).value_or(ChosenFile{}).path, dir / "cal");

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(runSaveFileDialog(nullptr, backup));
}

// The real window, without a sensor.
class CalibrationWindow : public ::testing::Test {
protected:
    test::TempDir dir;
    std::vector<SaveFileDialog> dialogs;
    std::optional<ChosenFile> answer;
    QSettings settings{QString::fromStdString((dir / "Ketrafo.conf").string()),
                       QSettings::IniFormat};
    test::RecordingBoxes boxes;
    std::unique_ptr<TmainForm> window;

    void start() {
        MainFormEnvironment environment;
        environment.settings = &settings;
        environment.boxes = &boxes;
        environment.logFile = dir / "log.txt";
        environment.translationTable = test::shippedTranslation();
        environment.discoverPorts = [] { return std::vector<PortEntry>{{"COM3", "/nonexistent"}}; };
        environment.tickCount = [] { return 0u; };
        environment.chooseSaveFile = [this](const SaveFileDialog& dialog) {
            dialogs.push_back(dialog);
            return answer;
        };
        environment.today = [] { return CalendarDate{2026, 12, 6}; };
        window = std::make_unique<TmainForm>(std::move(environment));
    }
    TValueListEditor& table() { return *window->ui().LitersConversionTable; }
    TValueListEditor& grid() { return *window->ui().tarEditor; }
    bool gridRowMarked(int row) {
        return grid().item(row, TValueListEditor::kValueColumn)->background().style() !=
               Qt::NoBrush;
    }
    QStringList refusalLines() {
        QStringList lines;
        for (const QListWidgetItem* item : window->ui().logListBox->findItems(
                 "Liters conversion table: the ", Qt::MatchStartsWith)) {
            lines << item->text();
        }
        return lines;
    }
    bool marked(int row, int column = TValueListEditor::kKeyColumn) {
        return table().item(row, column)->background().color() ==
               QApplication::palette().color(QPalette::Highlight);
    }
};

TEST_F(CalibrationWindow, aLitresCellThatIsNotANumberIsMarkedAndToldOnceWhenItAppears) {
    settings.setValue(settings_key::litersValue(1), "1O0"); // a letter O
    settings.setValue(settings_key::litersLiters(1), "5");
    start();
    ASSERT_EQ(refusalLines().size(), 1); // the stored row, told at start
    EXPECT_EQ(refusalLines()[0],
              "Liters conversion table: the value is not an integer, the row is not used: \"1O0\"");
    EXPECT_TRUE(marked(0));

    table().appendRow("200", "20"); // other changes do not tell it again
    table().setValue(0, "6");
    EXPECT_EQ(refusalLines().size(), 1);
    EXPECT_FALSE(marked(1));

    table().setKey(0, "100");
    EXPECT_FALSE(marked(0));
    table().setKey(1, "2 00");
    EXPECT_EQ(refusalLines().size(), 2);
    EXPECT_TRUE(marked(1));

    table().setValue(0, "1,5,0");
    ASSERT_EQ(refusalLines().size(), 3);
    EXPECT_TRUE(
        refusalLines()[0].startsWith("Liters conversion table: the liters are not a number"));
    EXPECT_TRUE(marked(0, TValueListEditor::kValueColumn));
    EXPECT_FALSE(marked(0));
    table().setValue(0, "1,5");
    EXPECT_FALSE(marked(0, TValueListEditor::kValueColumn));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CalibrationWindow, exportsTheUsersTextsAsUtf8) {
    start();
    window->ui().carnumberedit->setText(QStringLiteral("Ж1"));
    window->ui().dutnumberedit->setText("7");
    TValueListEditor& grid = *window->ui().tarEditor;
    ASSERT_TRUE(grid.setKey(0, "10"));
    grid.setValue(0, "1500");
    answer = ChosenFile{dir / "table", 5};
    window->ui().savetableButton->click();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(dialogs[0].proposedName.startsWith(QStringLiteral("Ж1--7-")));
    std::ifstream file(dir / "table.xml", std::ios::binary);
    const std::string xml{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(xml.find("\r\n<id>\xD0\x96"
                       "1</id>\r\n"),
              std::string::npos)
        << xml;
}

TEST_F(CalibrationWindow, aMistypedRowIsMarkedAndAskedAboutBeforeTheExport) {
    start();
    for (const auto& [liters, value] : {std::pair{"0", "100"}, std::pair{"10", "3000"},
                                        std::pair{"20", "1700"}, std::pair{"30", "2500"}}) {
        ASSERT_TRUE(grid().appendRow(liters, value));
    }
    EXPECT_FALSE(gridRowMarked(0));
    EXPECT_TRUE(gridRowMarked(1));
    EXPECT_TRUE(gridRowMarked(2));
    EXPECT_EQ(grid().item(1, 0)->toolTip(), "the value does not rise with the litres");
    grid().setValue(1, "900"); // corrected
    EXPECT_FALSE(gridRowMarked(1));
    EXPECT_FALSE(gridRowMarked(2));

    grid().setValue(3, "1700"); // the first row of the export, which starts at the bottom
    boxes.confirmAnswer = false;
    window->ui().savetableButton->click();
    ASSERT_EQ(boxes.confirmations.size(), 1u);
    EXPECT_EQ(boxes.confirmations[0].text.toStdString(),
              "Row 1 (30; 1700): the same value as another row\nDownload the table anyway?");
    // The grid shows the numbers that the question, the report and the exports use.
    EXPECT_FALSE(grid().verticalHeader()->isHidden());
    QStringList numbers;
    for (int row = 0; row < grid().rowCount(); ++row) {
        numbers << grid().model()->headerData(row, Qt::Vertical).toString();
    }
    EXPECT_EQ(numbers, QStringList({"4", "3", "2", "1"}));
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(CalibrationWindow, theReportIsAPdfWithAPageForEachFortyRows) {
    start();
    window->ui().carnumberedit->setText("A/1");
    for (int row = 1; row <= 41; ++row) {
        ASSERT_TRUE(grid().appendRow(QString::number(row), QString::number(row * 90)));
    }
    answer = ChosenFile{dir / "tank", 1};
    window->ui().reportButton->click();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Calibration report");
    EXPECT_TRUE(dialogs[0].proposedName.startsWith("A_1-"));
    EXPECT_TRUE(dialogs[0].askBeforeReplacing);
    std::ifstream file(dir / "tank.pdf", std::ios::binary);
    const std::string pdf{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("/Count 2"), std::string::npos); // two pages

    answer = ChosenFile{dir / "missing" / "tank.pdf", 1};
    window->ui().reportButton->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Calibration file not saved!");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

} // namespace
} // namespace vorkel
