// The calibration report: the paper the customer gets at the end of a tank calibration. Its
// content (the installation, the date, the sensor's versions and points when they were read,
// the table in the order of the export and the curve) is put together here, in the window's
// language; the window paints it into a PDF document, and the bytes are written here as one
// whole file.
#pragma once

#include "calibration/calibration_record.h"
#include "calibration/tank_curve.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

inline constexpr std::size_t kReportRowsPerPage = 40;

struct ReportField {
    std::string caption;
    std::string value;
};

struct CalibrationReportContent {
    std::string title;
    std::vector<ReportField> fields; // installation, date, versions, points
    std::string litersTitle, valuesTitle;
    std::vector<TableRow> rows;   // the table without its empty rows, in the order of the export
    std::vector<RowCheck> checks; // one per row
    TankCurve curve;
    // Rows [first, first + count) on each page; the first page also has the fields and the curve.
    struct Page {
        std::size_t first = 0;
        std::size_t count = 0;
    };
    std::vector<Page> pages;
    std::string pageCaption; // "Page", before "1 / 2"
};

// What the window shows when the report is asked for.
struct ReportSources {
    InstallationDescription installation;
    std::vector<TableRow> gridRows;                // top to bottom
    std::string programVersion, bootloaderVersion; // the labels: "?" or empty when not read
    // The sensor's points as last read from it on this connection; without them the report
    // says that they were not read, never a number that may be another sensor's or typed.
    std::optional<CalibrationRecord> points;
};

CalibrationReportContent
reportContent(const ReportSources& sources, const std::string& dateText,
              const std::function<std::string(std::string_view)>& translate);

class CalibrationReportView {
public:
    virtual ~CalibrationReportView() = default;
    // Without the points: what the sensor holds is not the view's to say.
    virtual ReportSources reportSources() const = 0;
};

struct ReportServices {
    std::function<std::string(std::string_view key)> translate;
    std::function<void(const std::string& text)> showWarningBox;
    std::function<bool(const std::string& title, const std::string& text)> confirm;
    std::function<std::optional<CalibrationRecord>()> currentPoints; // CalibrationPoints
    std::function<CalendarDate()> today;
    std::function<std::string()> dateSeparator;
    // The file dialog with the proposed name; it asks itself before replacing the chosen file.
    std::function<std::optional<std::filesystem::path>(const std::string& proposedName)> choosePath;
    // The document's bytes; nothing when it could not be made.
    std::function<std::optional<std::string>(const CalibrationReportContent&)> render;
};

class CalibrationReport {
public:
    CalibrationReport(CalibrationReportView& view, ReportServices services)
        : view_(view)
        , services_(std::move(services)) {}

    // "Calibration report...": the file is chosen, made and written whole; a file that cannot
    // be written is told, and nothing of it is left.
    void reportButtonClick();

private:
    CalibrationReportView& view_;
    ReportServices services_;
};

} // namespace vorkel
