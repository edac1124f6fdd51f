// The calibration workbench in the real window against the virtual sensor: a tank filled by
// guided pouring without a click per row, its table exported in each format, loaded back and
// exported again to the same bytes; a table from the tank's shape in the grid. Real timers:
// generous limits, only the order of events is checked.
#include "app/calibration_panel.h"
#include "support/window_end_to_end.h"

#include <deque>
#include <fstream>

namespace vorkel {
namespace {

constexpr std::chrono::milliseconds kSettle{10000}; // a jump, the filter's window, a slow build

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class WorkbenchEndToEnd : public test::WindowEndToEnd {
protected:
    std::deque<ChosenFile> saveAnswers;
    std::deque<TableFileChoice> openAnswers;
    std::optional<ShapeAnswer> shape;

    void addSeams(MainFormEnvironment& environment) override {
        environment.chooseSaveFile = [this](const SaveFileDialog&) -> std::optional<ChosenFile> {
            if (saveAnswers.empty()) {
                return std::nullopt;
            }
            ChosenFile answer = saveAnswers.front();
            saveAnswers.pop_front();
            return answer;
        };
        environment.chooseTableFile = [this]() -> std::optional<TableFileChoice> {
            if (openAnswers.empty()) {
                return std::nullopt;
            }
            TableFileChoice answer = openAnswers.front();
            openAnswers.pop_front();
            return answer;
        };
        environment.chooseShape = [this] { return shape; };
        environment.today = [] { return CalendarDate{2026, 12, 6}; };
    }
    bool rowShown(int row, const QString& liters, const QString& value) {
        const TValueListEditor& grid = *ui().tarEditor;
        return grid.rowCount() > row && grid.key(row) == liters && grid.value(row) == value;
    }
};

TEST_F(WorkbenchEndToEnd, aGuidedFillIsExportedAndLoadedBackToTheSameBytesInEveryFormat) {
    startSensor({"--level", "100", "--wander", "0"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return connected(); }, kFirstPoll + kSettle));
    emit ui().levelRaw->clicked(); // the raw level goes into the table
    ui().dutnumberedit->setText("7");
    ui().guidedStepEdit->setText("12,5");
    ui().guidedCheckBox->click();

    ASSERT_TRUE(waitFor([&] { return rowShown(1, "0", "100"); }, kSettle));
    sim->type("level 900\n");
    ASSERT_TRUE(waitFor([&] { return rowShown(1, "12,5", "900"); }, kSettle));
    sim->type("level 1700\n");
    ASSERT_TRUE(waitFor([&] { return rowShown(1, "25", "1700"); }, kSettle));
    EXPECT_EQ(ui().tarEditor->rowCount(), 4); // the empty row for the next volume on top
    EXPECT_TRUE(ui().undoRowButton->isEnabled());
    ui().guidedCheckBox->click(); // an ordinary table again

    for (int position = 1; position <= 5; ++position) {
        const auto first = dir / ("first" + std::to_string(position));
        const auto second = dir / ("second" + std::to_string(position));
        const auto format = *exportFormatAt(position);
        saveAnswers.push_back({first, position});
        ui().savetableButton->click();
        const auto written = exportPath(first, format);
        openAnswers.push_back({written, {}});
        ui().loadtableButton->click();
        saveAnswers.push_back({second, position});
        ui().savetableButton->click();
        EXPECT_EQ(readFile(exportPath(second, format)), readFile(written)) << position;
        EXPECT_FALSE(readFile(written).empty());
    }
    EXPECT_EQ(ui().tableStateLabel->text().section('\n', 0, 0).toStdString(),
              "Loaded: first5.xml (Omnicomm XML)");
}

TEST_F(WorkbenchEndToEnd, aTableFromTheShapeFillsTheGridAndABadFileLeavesItAsItWas) {
    startSensor({"--level", "100", "--wander", "0"});
    startConfigurator();
    emit ui().levelRaw->clicked();
    shape = ShapeAnswer{{TankShape::HorizontalCylinder, 1000, 0, 0, 600}, {600, 0}, 3, true, 2};
    ui().shapeButton->click();
    ASSERT_TRUE(rowShown(0, "282.74", "4095"));
    ASSERT_TRUE(rowShown(1, "141.37", "2048"));
    ASSERT_TRUE(rowShown(2, "0.00", "0"));

    const auto bad = dir / "bad.csv";
    std::ofstream(bad, std::ios::binary) << "1;2\r\n3 4\r\n";
    openAnswers.push_back({bad, ExportFormat::WialonCsv});
    ui().loadtableButton->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(rowShown(0, "282.74", "4095"));
    EXPECT_EQ(ui().tarEditor->rowCount(), 3);
}

} // namespace
} // namespace vorkel
