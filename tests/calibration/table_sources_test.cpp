#include "calibration/table_sources.h"
#include "calibration/whole_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

class TableSourcesTest : public ::testing::Test, public TableSourceView {
protected:
    std::vector<TableRow> tableRows() const override { return rows_; }
    void replaceRows(const std::vector<TableRow>& rows) override { rows_ = rows; }
    void showLoadedInstallation(const VehicleDetails& vehicle) override { vehicle_ = vehicle; }
    void showTableSource(const std::string& text) override { source_ = text; }
    void showReference(const ShapeReference* reference) override { referenceShown_ = reference; }
    void enableSaveTable(bool enabled) override { saveEnabled_ = enabled; }

    std::filesystem::path file(const std::string& name, const std::string& bytes) {
        const auto path = folder_.path() / name;
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }

    test::TempDir folder_;
    std::vector<TableRow> rows_ = {{"", ""}};
    std::optional<VehicleDetails> vehicle_;
    std::string source_, warning_;
    const ShapeReference* referenceShown_ = nullptr;
    bool saveEnabled_ = false, agree_ = true;
    std::optional<TableFileChoice> fileChoice_;
    std::optional<ShapeAnswer> shape_;
    TableSources sources_{*this, TableSourceServices{
                                     [](std::string_view key) { return std::string(key); },
                                     [this](const std::string& text) { warning_ = text; },
                                     [this](const std::string&, const std::string&) {
                                         return agree_;
                                     },
                                     [this] { return fileChoice_; }, [this] { return shape_; },
                                     [] { return ReadingScale{}; }}};
};

TEST_F(TableSourcesTest, aLoadedFileFillsTheGridAndABadOneLeavesItAsItWas) {
    const std::vector<TableRow> grid = {{"", ""}, {"10", "1500"}, {"0", "1234"}};
    fileChoice_ = TableFileChoice{
        file("t.xml", exportText(ExportFormat::OmnicommXml, grid, {"A1", "7", "12/06/2026", 10})),
        {}};
    sources_.loadtableButtonClick();
    EXPECT_EQ(rows_, (std::vector<TableRow>{{"10", "1500"}, {"0", "1234"}}));
    EXPECT_EQ(vehicle_->carNumber, "A1");
    EXPECT_EQ(source_, "rsTableLoaded t.xml (Omnicomm XML)\ncarnumberedit.SubLabel: A1; "
                       "dutnumberedit.SubLabel: 7; rsReportDate: 12/06/2026; averaginglabel: 10 "
                       "rsSecondsShort");
    EXPECT_TRUE(saveEnabled_);

    const auto loaded = rows_;
    fileChoice_ = TableFileChoice{file("bad.txt", "1.1234-0;\r\n2.1500\r\n"), {}};
    sources_.loadtableButtonClick();
    EXPECT_EQ(warning_, "rsTableNotLoaded\nrsTableLine 2: rsTableNoRowEnd");
    EXPECT_EQ(rows_, loaded);
    // Rows in the grid are replaced only when the engineer agrees.
    agree_ = false;
    fileChoice_ = TableFileChoice{file("ok.txt", "1.1234-0;\r\n"), {}};
    sources_.loadtableButtonClick();
    EXPECT_EQ(rows_, loaded);
    agree_ = true;
    sources_.loadtableButtonClick();
    EXPECT_EQ(rows_, (std::vector<TableRow>{{"0", "1234"}}));
}

TEST_F(TableSourcesTest, theShapeFillsTheGridOrStandsBesideItAsAReference) {
    shape_ = ShapeAnswer{{TankShape::HorizontalCylinder, 1000, 0, 0, 600}, {600, 0}, 3, false, 2};
    sources_.shapeButtonClick();
    EXPECT_EQ(rows_, (std::vector<TableRow>{{"", ""}})); // the grid untouched
    ASSERT_NE(referenceShown_, nullptr);
    EXPECT_EQ(referenceShown_->points.size(), 3u);
    EXPECT_EQ(source_, "rsShapeSource 282.74 rsLitersShort");

    shape_->fillGrid = true;
    sources_.shapeButtonClick();
    EXPECT_EQ(rows_, (std::vector<TableRow>{{"282.74", "4095"}, {"141.37", "2048"}, {"0.00", "0"}}));
    EXPECT_EQ(referenceShown_, nullptr);

    shape_->rows = 1;
    sources_.shapeButtonClick();
    EXPECT_EQ(warning_, "rsShapeBadRows");
}

} // namespace
} // namespace vorkel
