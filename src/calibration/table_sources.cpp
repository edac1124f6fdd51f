#include "calibration/table_sources.h"

#include <algorithm>

namespace vorkel {
namespace {

std::string utf8Name(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

} // namespace

std::string_view exportFormatTitle(ExportFormat format) {
    switch (format) {
    case ExportFormat::VorkelTable:
        return "VORKEL";
    case ExportFormat::FortTable:
        return "FORT";
    case ExportFormat::WialonTxt:
        return "WIALON TXT";
    case ExportFormat::WialonCsv:
        return "WIALON CSV";
    case ExportFormat::OmnicommXml:
        return "Omnicomm XML";
    }
    return {};
}

bool TableSources::mayReplaceRows() {
    const std::vector<TableRow> rows = view_.tableRows();
    const bool empty = std::all_of(rows.begin(), rows.end(), [](const TableRow& row) {
        return row.liters.empty() && row.values.empty();
    });
    return empty || services_.confirm(services_.translate("rsWarningTitle"),
                                      services_.translate("rsReplaceTableRows"));
}

void TableSources::fillGrid(const std::vector<TableRow>& rows) {
    view_.replaceRows(rows);
    view_.enableSaveTable(true);
}

void TableSources::loadtableButtonClick() {
    const std::optional<TableFileChoice> choice = services_.chooseTableFile();
    if (!choice) {
        return;
    }
    const TableReadResult read = readTableFile(choice->path, choice->hint);
    if (const auto* error = std::get_if<TableReadError>(&read)) {
        services_.showWarningBox(tableReadMessage(*error, services_.translate));
        return;
    }
    if (!mayReplaceRows()) {
        return;
    }
    const LoadedTable& table = std::get<LoadedTable>(read);
    fillGrid(table.rows);
    std::string source = services_.translate("rsTableLoaded") + " " + utf8Name(choice->path) +
                         " (" + std::string(exportFormatTitle(table.format)) + ")";
    if (table.vehicle) {
        const VehicleDetails& vehicle = *table.vehicle;
        view_.showLoadedInstallation(vehicle);
        source += "\n" + services_.translate("carnumberedit.SubLabel") + ": " +
                  vehicle.carNumber + "; " + services_.translate("dutnumberedit.SubLabel") +
                  ": " + vehicle.sensorNumber + "; " + services_.translate("rsReportDate") +
                  ": " + vehicle.dateText + "; " + services_.translate("averaginglabel") + ": " +
                  std::to_string(vehicle.averagingSeconds) + " " +
                  services_.translate("rsSecondsShort");
    }
    view_.showTableSource(source);
}

void TableSources::shapeButtonClick() {
    const std::optional<ShapeAnswer> answer = services_.chooseShape();
    if (!answer) {
        return;
    }
    const ShapeRequest request{answer->tank, answer->sensor, answer->rows,
                               services_.readingScale()};
    const auto table = shapeTable(request);
    if (const auto* reason = std::get_if<std::string_view>(&table)) {
        services_.showWarningBox(services_.translate(*reason));
        return;
    }
    const auto& rows = std::get<std::vector<ShapeRow>>(table);
    const std::string source = services_.translate("rsShapeSource") + " " +
                               rows.back().cells.liters + " " +
                               services_.translate("rsLitersShort");
    if (answer->fillGrid) {
        if (!mayReplaceRows()) {
            return;
        }
        // The reference would only repeat the rows.
        reference_.reset();
        view_.showReference(nullptr);
        fillGrid(shapeGridRows(rows));
    } else {
        reference_ = shapeReference(rows, answer->tolerancePercent);
        view_.showReference(&*reference_);
    }
    view_.showTableSource(source);
}

} // namespace vorkel
