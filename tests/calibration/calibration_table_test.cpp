#include "calibration/calibration_table.h"
#include "calibration_fixture.h"
#include "support/temp_dir.h"

#include <fstream>

namespace vorkel {
namespace {

using namespace test;
namespace fs = std::filesystem;

// The grid as the window keeps it, with its Enter rule.
class FakeGrid : public CalibrationTableView {
public:
    std::vector<TableRow> rows() const override { return grid; }
    int currentRow() const override { return current; }
    void setValues(int row, const std::string& text) override {
        grid.at(static_cast<std::size_t>(row)).values = text;
    }
    void insertEmptyRowAtCurrent() override {
        const auto at = static_cast<std::size_t>(current);
        if (grid[at] != TableRow{}) {
            grid.insert(grid.begin() + current, TableRow{});
        }
    }
    void editLiters(int row) override { editing = row; }
    void enableSaveTable(bool enabled) override { saveEnabled = enabled; }
    InstallationDescription installation() const override { return description; }

    std::vector<TableRow> grid{TableRow{}};
    int current = 0;
    int editing = -1;
    bool saveEnabled = false;
    InstallationDescription description{"A/1", "X", "7", "800"};
};

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class TableFlow : public ::testing::Test {
protected:
    TableFlow() {
        services.today = [] { return CalendarDate{2026, 12, 6}; };
        services.dateSeparator = [] { return std::string("/"); };
        services.selectedReadingText = [this] { return reading; };
        services.averagingSeconds = [] { return 10; };
        services.chooseExportPath = [this](const std::string& proposed) {
            proposedNames.push_back(proposed);
            return choice;
        };
    }

    Dialogs dialogs;
    CalibrationServices services = dialogs.services();
    FakeGrid grid;
    std::string reading = "42.15 %";
    std::vector<std::string> proposedNames;
    std::optional<ExportChoice> choice;
    TempDir dir;
};

TEST_F(TableFlow, readingsGoIntoTheRowAboveWhichTheNextVolumeIsTyped) {
    CalibrationTable table(grid, services);
    grid.grid = {{"0", ""}};
    table.TarGetLevelButtonClick();
    EXPECT_EQ(grid.grid, (std::vector<TableRow>{{"", ""}, {"0", "42.15 %"}}));
    EXPECT_EQ(grid.editing, 0);
    EXPECT_TRUE(grid.saveEnabled);

    grid.grid[0].liters = "10";
    reading = "55.00 %";
    table.TarGetLevelButtonClick();
    EXPECT_EQ(grid.grid, (std::vector<TableRow>{{"", ""}, {"10", "55.00 %"}, {"0", "42.15 %"}}));
    EXPECT_TRUE(dialogs.warnings.empty());
}

TEST_F(TableFlow, aReadingNeedsItsLitres) {
    CalibrationTable table(grid, services);
    grid.grid = {{"", "1234"}};
    table.TarGetLevelButtonClick();
    EXPECT_EQ(dialogs.warnings,
              std::vector<std::string>{"Please fill in the \u201CLiters\u201D field!"});
    EXPECT_EQ(grid.grid, (std::vector<TableRow>{{"", "1234"}}));
    EXPECT_FALSE(grid.saveEnabled);
    EXPECT_EQ(grid.editing, -1);
}

TEST_F(TableFlow, exportsUnderTheFormatsExtensionWithTheDateOfToday) {
    CalibrationTable table(grid, services);
    grid.grid = {{"", ""}, {"10", "1500"}, {"0", "1234"}};
    choice = ExportChoice{dir / "report.csv", ExportFormat::VorkelTable};
    table.savetableButtonClick();
    EXPECT_EQ(proposedNames, std::vector<std::string>{"A_1-X-7-12_06_2026-800"});
    EXPECT_EQ(readAll(dir / "report.txt"), "1.1234-0;\r\n2.1500-10;\r\n3.-;\r\n");
    EXPECT_FALSE(fs::exists(dir / "report.csv"));

    // A second export replaces the first; the XML one carries the details.
    choice = ExportChoice{dir / "report.txt", ExportFormat::FortTable};
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / "report.txt"), "1234:0;1500:10;:;\r\n");
    choice = ExportChoice{dir / "report", ExportFormat::OmnicommXml};
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / "report.xml"), omnicommXml(grid.grid, {"A/1", "7", "12/06/2026", 10}));
    // A name in the user's own letters keeps them; only the extension after the last "." goes.
    choice = ExportChoice{dir / u8"отчёт.v1.txt", ExportFormat::WialonCsv};
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / u8"отчёт.v1.csv"), "1234;0\r\n1500;10\r\n;\r\n");
    EXPECT_TRUE(dialogs.questions.empty()); // the dialog asked about the paths it showed
    EXPECT_TRUE(dialogs.warnings.empty());
}

TEST_F(TableFlow, asksBeforeReplacingAFileTheDialogDidNotShow) {
    CalibrationTable table(grid, services);
    grid.grid = {{"1", "2"}};
    std::ofstream(dir / u8"отчёт.txt") << "kept";
    choice = ExportChoice{dir / u8"отчёт.csv", ExportFormat::WialonTxt};

    dialogs.answer = false;
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / u8"отчёт.txt"), "kept");
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0],
              (std::pair<std::string, std::string>{
                  "Warning", "This file already exists. Replace it?\nотчёт.txt"}));

    dialogs.answer = true;
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / u8"отчёт.txt"), "2 1\r\n");

    // Where letter case does not tell names apart (Windows), "отчёт.TXT" is the file the
    // dialog asked about; elsewhere a second name of one file stands in for such a system.
    if (!fs::exists(dir / u8"отчёт.TXT")) {
        fs::create_hard_link(dir / u8"отчёт.txt", dir / u8"отчёт.TXT");
    }
    choice = ExportChoice{dir / u8"отчёт.TXT", ExportFormat::WialonTxt};
    grid.grid = {{"3", "4"}};
    table.savetableButtonClick();
    EXPECT_EQ(dialogs.questions.size(), 2u); // the two above
    EXPECT_EQ(readAll(dir / u8"отчёт.txt"), "4 3\r\n");
}

TEST_F(TableFlow, aTableOutOfOrderIsExportedOnlyWhenTheEngineerSaysSo) {
    CalibrationTable table(grid, services);
    grid.grid = {{"", ""}, {"20", "1700"}, {"10", "3000"}, {"0", "100"}};
    choice = ExportChoice{dir / "tank.txt", ExportFormat::VorkelTable};
    dialogs.answer = false;
    table.savetableButtonClick();
    EXPECT_TRUE(proposedNames.empty()); // asked before the file dialog
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].second, "Row 2 (10; 3000): the value does not rise with the "
                                           "litres\nDownload the table anyway?");

    dialogs.answer = true;
    table.savetableButtonClick();
    EXPECT_EQ(readAll(dir / "tank.txt"), "1.100-0;\r\n2.3000-10;\r\n3.1700-20;\r\n4.-;\r\n");
}

TEST_F(TableFlow, aCancelledExportWritesNothingAndAFailedOneSaysSo) {
    CalibrationTable table(grid, services);
    table.savetableButtonClick(); // cancelled
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_TRUE(dialogs.warnings.empty());

    choice = ExportChoice{dir / "missing" / "report", ExportFormat::WialonCsv};
    table.savetableButtonClick();
    EXPECT_EQ(dialogs.warnings, std::vector<std::string>{"Calibration file not saved!"});
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

} // namespace
} // namespace vorkel
