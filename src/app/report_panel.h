// Binder of the calibration report: the "Calibration report..." button, what the report takes
// from the window (installation, grid, version labels, calibration edits), its file dialog,
// and the painting of the report into a PDF document (A4, the curve by the same code as on the
// calibration page).
#pragma once

#include "app/file_dialogs.h"
#include "calibration/calibration_report.h"

#include <optional>
#include <string>

class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

inline const QString kReportDialogFilter = QStringLiteral("PDF|*.pdf");

class ReportPanel : public CalibrationReportView {
public:
    // `chooseSaveFile` answers the file dialog; when empty, the real dialog opens over `window`.
    ReportPanel(Ui::TmainForm& ui, QWidget* window, SaveFileChooser chooseSaveFile)
        : ui_(ui)
        , window_(window)
        , chooseSaveFile_(std::move(chooseSaveFile)) {}
    void connectTo(CalibrationReport& report);

    ReportSources reportSources() const override;

    // The save dialog with the report's title as its own, asking before replacing a file.
    std::optional<std::filesystem::path> chooseReportFile(const std::string& proposedName,
                                                          const QString& title) const;

private:
    Ui::TmainForm& ui_;
    QWidget* window_;
    SaveFileChooser chooseSaveFile_;
};

// The report as the bytes of a PDF document; nothing when it could not be painted.
std::optional<std::string> renderCalibrationReport(const CalibrationReportContent& content);

} // namespace vorkel
