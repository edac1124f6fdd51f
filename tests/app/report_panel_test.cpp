// The calibration table as the window shows it: rows out of order coloured in the grid, the
// question before exporting them, and the report written as a PDF document.
#include "app/main_form.h"
#include "support/qt_fakes.h"
#include "support/temp_dir.h"
#include "ui_TmainForm.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vorkel {
namespace {

class CalibrationPage : public ::testing::Test {
protected:
    CalibrationPage() {
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
        window = std::make_unique<TmainForm>(std::move(environment));
    }
    bool marked(int row) const {
        return grid().item(row, TValueListEditor::kValueColumn)->background().style() !=
               Qt::NoBrush;
    }
    TValueListEditor& grid() const { return *window->ui().tarEditor; }
    std::string readFile(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    test::TempDir dir;
    QSettings settings{QString::fromStdString((dir / "Ketrafo.conf").string()),
                       QSettings::IniFormat};
    test::RecordingBoxes boxes;
    std::vector<SaveFileDialog> dialogs;
    std::optional<ChosenFile> answer;
    std::unique_ptr<TmainForm> window;
};

TEST_F(CalibrationPage, aMistypedRowIsMarkedAndAskedAboutBeforeTheExport) {
    for (const auto& [liters, value] : {std::pair{"0", "100"}, std::pair{"10", "3000"},
                                        std::pair{"20", "1700"}, std::pair{"30", "2500"}}) {
        ASSERT_TRUE(grid().appendRow(liters, value));
    }
    EXPECT_FALSE(marked(0));
    EXPECT_TRUE(marked(1));
    EXPECT_TRUE(marked(2));
    EXPECT_EQ(grid().item(1, 0)->toolTip(), "the value does not rise with the litres");
    grid().setValue(1, "900"); // corrected
    EXPECT_FALSE(marked(1));
    EXPECT_FALSE(marked(2));

    grid().setValue(3, "1700"); // row 4, the first of the export (which starts at the bottom)
    boxes.confirmAnswer = false;
    window->ui().savetableButton->click();
    ASSERT_EQ(boxes.confirmations.size(), 1u);
    EXPECT_EQ(boxes.confirmations[0].text.toStdString(),
              "Row 4 (30; 1700): the same value as another row\nDownload the table anyway?");
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(CalibrationPage, theReportIsAPdfWithAPageForEachFortyRows) {
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
    const std::string pdf = readFile(dir / "tank.pdf");
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
