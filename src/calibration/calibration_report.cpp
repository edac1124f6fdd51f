#include "calibration/calibration_report.h"

#include "calibration/whole_file.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace vorkel {
namespace {

bool wasRead(const std::string& version) {
    return !version.empty() && version != "?";
}

bool hasPdfExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".pdf";
}

} // namespace

CalibrationReportContent
reportContent(const ReportSources& sources, const std::string& dateText,
              const std::function<std::string(std::string_view)>& translate) {
    CalibrationReportContent content;
    content.title = translate("rsCalibrationReport");
    const InstallationDescription& installation = sources.installation;
    content.fields = {{translate("carnumberedit.SubLabel"), installation.carNumber},
                      {translate("companynameedit.SubLabel"), installation.companyName},
                      {translate("dutnumberedit.SubLabel"), installation.sensorNumber},
                      {translate("dutlengthedit.SubLabel"), installation.sensorLength},
                      {translate("rsReportDate"), dateText}};
    if (wasRead(sources.programVersion)) {
        content.fields.push_back({translate("programversioncaption"), sources.programVersion});
        content.fields.push_back(
            {translate("bootloaderversioncaption"), sources.bootloaderVersion});
    }
    if (sources.points) {
        content.fields.push_back(
            {translate("emptytaredit.SubLabel"), std::to_string(sources.points->empty)});
        content.fields.push_back(
            {translate("fulltaredit.SubLabel"), std::to_string(sources.points->full)});
    } else {
        content.fields.push_back({translate("tarbakGroupBox"), translate("rsReportPointsNotRead")});
    }
    content.litersTitle = translate("tarEditor.Column0");
    content.valuesTitle = translate("tarEditor.Column1");
    content.curve = tankCurve(sources.gridRows);
    for (const CurvePoint& point : content.curve.rows) {
        content.rows.push_back(sources.gridRows[static_cast<std::size_t>(point.gridRow)]);
        content.checks.push_back(point.check);
    }
    for (std::size_t first = 0; first == 0 || first < content.rows.size();
         first += kReportRowsPerPage) {
        content.pages.push_back({first, std::min(kReportRowsPerPage, content.rows.size() - first)});
    }
    content.pageCaption = translate("rsReportPage");
    return content;
}

void CalibrationReport::reportButtonClick() {
    ReportSources sources = view_.reportSources();
    sources.points = services_.currentPoints();
    const std::string date = formatDate(services_.translate("rsDateFormat"),
                                        services_.dateSeparator(), services_.today());
    const std::optional<std::filesystem::path> chosen =
        services_.choosePath(proposedExportName(sources.installation, date) + ".pdf");
    if (!chosen) {
        return;
    }
    std::filesystem::path target = *chosen;
    if (!hasPdfExtension(target)) {
        // The dialog asked about the name it showed, not about this one.
        target += ".pdf";
        std::error_code error;
        if (std::filesystem::exists(target, error) &&
            !services_.confirm(services_.translate("rsWarningTitle"),
                               services_.translate("rsReplaceExistingFile") +
                                   target.filename().string())) {
            return;
        }
    }
    const std::optional<std::string> document =
        services_.render(reportContent(sources, date, services_.translate));
    if (!document || !writeWholeFile(target, *document)) {
        services_.showWarningBox(services_.translate("rsCalibrationNotSaved"));
    }
}

} // namespace vorkel
