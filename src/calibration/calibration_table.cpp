#include "calibration/calibration_table.h"

#include "calibration/tank_curve.h"
#include "calibration/whole_file.h"

#include <system_error>

namespace vorkel {
namespace {

std::string utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

void CalibrationTable::TarGetLevelButtonClick() {
    const int row = view_.currentRow();
    const std::vector<TableRow> rows = view_.rows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size() ||
        rows[static_cast<std::size_t>(row)].liters.empty()) {
        services_.showWarningBox(services_.translate("rsEnterLitersValue"));
        return;
    }
    view_.enableSaveTable(true);
    view_.setValues(row, services_.selectedReadingText());
    view_.insertEmptyRowAtCurrent();
    view_.editLiters(row);
}

void CalibrationTable::savetableButtonClick() {
    // The platforms take any table, so a row out of order is the engineer's call.
    if (const auto question = tableOrderQuestion(view_.rows(), services_.translate);
        question && !services_.confirm(services_.translate("rsWarningTitle"), *question)) {
        return;
    }
    const std::string date = formatDate(services_.translate("rsDateFormat"),
                                        services_.dateSeparator(), services_.today());
    const InstallationDescription installation = view_.installation();
    const std::optional<ExportChoice> choice =
        services_.chooseExportPath(proposedExportName(installation, date));
    if (!choice) {
        return;
    }
    const std::filesystem::path target = exportPath(choice->path, choice->format);
    // The dialog asked about the path it showed; a file at the path with the format's
    // extension has not been asked about yet, unless it is that same file: on Windows
    // "report.TXT" and "report.txt" name one file.
    std::error_code error;
    if (target != choice->path && std::filesystem::exists(target, error) &&
        !std::filesystem::equivalent(target, choice->path, error) &&
        !services_.confirm(services_.translate("rsWarningTitle"),
                           services_.translate("rsReplaceExistingFile") +
                               utf8Text(target.filename()))) {
        return;
    }
    const VehicleDetails details{installation.carNumber, installation.sensorNumber, date,
                                 services_.averagingSeconds()};
    if (!writeWholeFile(target, exportText(choice->format, view_.rows(), details))) {
        services_.showWarningBox(services_.translate("rsCalibrationNotSaved"));
    }
}

} // namespace vorkel
