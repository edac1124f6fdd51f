#include "calibration/calibration_report.h"
#include "calibration_fixture.h"
#include "support/temp_dir.h"

#include <fstream>

namespace vorkel {
namespace {

namespace fs = std::filesystem;

class FakeReportView : public CalibrationReportView {
public:
    ReportSources reportSources() const override { return sources; }
    ReportSources sources{
        {"A/1", "X", "7", "800"}, {{"", ""}, {"10", "900"}, {"0", "100"}}, "?", "?", std::nullopt};
};

std::vector<std::string> captions(const CalibrationReportContent& content) {
    std::vector<std::string> result;
    for (const ReportField& field : content.fields) {
        result.push_back(field.caption + "=" + field.value);
    }
    return result;
}

TEST(ReportContent, namesWhatWasReadAndListsTheRowsInTheOrderOfTheExport) {
    ReportSources sources = FakeReportView().sources;
    const CalibrationReportContent plain = reportContent(sources, "12/06/2026", test::englishText);
    EXPECT_EQ(captions(plain),
              (std::vector<std::string>{"carnumberedit.SubLabel=A/1", "companynameedit.SubLabel=X",
                                        "dutnumberedit.SubLabel=7", "dutlengthedit.SubLabel=800",
                                        "rsReportDate=12/06/2026",
                                        "tarbakGroupBox=rsReportPointsNotRead"}));
    EXPECT_EQ(plain.rows, (std::vector<TableRow>{{"0", "100"}, {"10", "900"}}));
    EXPECT_EQ(plain.checks, (std::vector<RowCheck>{RowCheck::ok, RowCheck::ok}));
    ASSERT_EQ(plain.pages.size(), 1u);
    EXPECT_EQ(plain.pages[0].count, 2u);

    sources.programVersion = "1.21";
    sources.bootloaderVersion = "1.3";
    sources.points = CalibrationRecord{1000, 40960};
    const CalibrationReportContent full = reportContent(sources, "", test::englishText);
    const std::vector<std::string> fields = captions(full);
    EXPECT_EQ(
        std::vector<std::string>(fields.begin() + 5, fields.end()),
        (std::vector<std::string>{"programversioncaption=1.21", "bootloaderversioncaption=1.3",
                                  "emptytaredit.SubLabel=1000", "fulltaredit.SubLabel=40960"}));
}

TEST(ReportContent, fortyRowsFillOnePageAndTheRestGoOnFurtherPages) {
    for (const auto& [rows, pages] :
         std::vector<std::pair<std::size_t, std::size_t>>{{0, 1}, {40, 1}, {41, 2}, {81, 3}}) {
        ReportSources sources;
        for (std::size_t i = 0; i < rows; ++i) {
            sources.gridRows.push_back(
                {std::to_string(rows - i), std::to_string(100 * (rows - i))});
        }
        const CalibrationReportContent content = reportContent(sources, "", test::englishText);
        ASSERT_EQ(content.pages.size(), pages) << rows;
        std::size_t covered = 0;
        for (const auto& page : content.pages) {
            EXPECT_EQ(page.first, covered);
            EXPECT_LE(page.count, kReportRowsPerPage);
            covered += page.count;
        }
        EXPECT_EQ(covered, rows);
    }
}

class ReportFlow : public ::testing::Test {
protected:
    ReportFlow() {
        services.translate = test::calibrationText;
        services.showWarningBox = [this](const std::string& text) { warnings.push_back(text); };
        services.confirm = [this](const std::string&, const std::string& text) {
            questions.push_back(text);
            return true;
        };
        services.currentPoints = [this] { return points; };
        services.today = [] { return CalendarDate{2026, 12, 6}; };
        services.dateSeparator = [] { return std::string("/"); };
        services.choosePath = [this](const std::string& proposed) {
            proposedNames.push_back(proposed);
            return chosen;
        };
        services.render = [this](const CalibrationReportContent& content) {
            rendered.push_back(content);
            return document;
        };
    }

    FakeReportView view;
    ReportServices services;
    std::optional<CalibrationRecord> points;
    std::optional<fs::path> chosen;
    std::optional<std::string> document = std::string("%PDF-1.4 report");
    std::vector<std::string> warnings, questions, proposedNames;
    std::vector<CalibrationReportContent> rendered;
    test::TempDir dir;
};

TEST_F(ReportFlow, writesTheDocumentWholeUnderThePdfName) {
    CalibrationReport report(view, services);
    report.reportButtonClick(); // cancelled
    EXPECT_TRUE(rendered.empty());
    EXPECT_EQ(proposedNames, std::vector<std::string>{"A_1-X-7-12_06_2026-800.pdf"});

    points = CalibrationRecord{1000, 40960};
    chosen = dir / "tank";
    report.reportButtonClick();
    {
        // Closed before the file is replaced: Windows replaces no file that is open.
        std::ifstream file(dir / "tank.pdf", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "%PDF-1.4 report");
    }
    ASSERT_EQ(rendered.size(), 1u);
    EXPECT_EQ(rendered[0].fields.back().value, "40960");
    EXPECT_EQ(rendered[0].fields[4].value, "12/06/2026");

    report.reportButtonClick(); // "tank.pdf" is there now, and the dialog showed "tank"
    EXPECT_EQ(questions,
              std::vector<std::string>{"This file already exists. Replace it?\ntank.pdf"});
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ReportFlow, aReportThatCannotBeWrittenIsToldAndLeavesNothing) {
    CalibrationReport report(view, services);
    chosen = dir / "missing" / "tank.PDF";
    report.reportButtonClick();
    document.reset(); // painting failed
    chosen = dir / "tank.pdf";
    report.reportButtonClick();
    EXPECT_EQ(warnings, (std::vector<std::string>(2, "Calibration file not saved!")));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

} // namespace
} // namespace vorkel
