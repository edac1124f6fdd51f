#include "app/table_source_panel.h"

#include "app/calibration_panel.h"
#include "app/file_dialogs.h"
#include "app/shape_dialog.h"
#include "ui_TmainForm.h"

#include <QFileDialog>
#include <QSignalBlocker>

namespace vorkel {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void TableSourcePanel::connectTo(TableSources& sources) {
    QObject::connect(ui_.loadtableButton, &QPushButton::clicked, ui_.loadtableButton,
                     [&sources] { sources.loadtableButtonClick(); });
    QObject::connect(ui_.shapeButton, &QPushButton::clicked, ui_.shapeButton,
                     [&sources] { sources.shapeButtonClick(); });
}

std::optional<TableFileChoice> TableSourcePanel::runOpenTableDialog(QWidget* window,
                                                                    const QString& title) {
    QFileDialog dialog(window, title, QStringLiteral("."));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The export's entries, in its order, so that the entry is the format's hint; then all.
    QStringList filters = qtNameFilters(kSavetableDialogFilter);
    filters << QStringLiteral("* (*)");
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const auto entry = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return TableFileChoice{std::filesystem::path(dialog.selectedFiles().front().toStdU16String()),
                           exportFormatAt(entry + 1)};
}

std::optional<ShapeAnswer> TableSourcePanel::runShapeDialog(const Localization& localization,
                                                            QWidget* window) {
    if (auto answer = ShapeDialog::run(localization, window, lastShape_)) {
        lastShape_ = answer;
        return answer;
    }
    return std::nullopt;
}

std::vector<TableRow> TableSourcePanel::tableRows() const {
    const TValueListEditor& grid = *ui_.tarEditor;
    std::vector<TableRow> rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        rows.push_back({grid.key(row).toStdString(), grid.value(row).toStdString()});
    }
    return rows;
}

void TableSourcePanel::replaceRows(const std::vector<TableRow>& rows) {
    TValueListEditor& grid = *ui_.tarEditor;
    {
        // One change of the table, not one per cell: the curve is drawn once.
        const QSignalBlocker quiet(grid);
        while (grid.rowCount() > 1) {
            grid.removeRowAt(0);
        }
        grid.removeRowAt(0); // the last row is emptied
        // A fresh grid's one empty row is taken by the first row appended, so the rows from the
        // first that is not empty are appended and the empty ones above it inserted after.
        std::size_t first = 0;
        while (first < rows.size() && rows[first].liters.empty() && rows[first].values.empty()) {
            ++first;
        }
        for (std::size_t i = first; i < rows.size(); ++i) {
            grid.appendRow(fromUtf8(rows[i].liters), fromUtf8(rows[i].values));
        }
        for (std::size_t i = 0; i < first && first < rows.size(); ++i) {
            grid.setCurrentCell(static_cast<int>(i), TValueListEditor::kKeyColumn);
            grid.insertEmptyRowAtCurrent();
        }
        grid.setCurrentCell(0, TValueListEditor::kKeyColumn);
    }
    emit grid.stringsChanged();
}

void TableSourcePanel::showLoadedInstallation(const VehicleDetails& vehicle) {
    ui_.carnumberedit->setText(fromUtf8(vehicle.carNumber));
    ui_.dutnumberedit->setText(fromUtf8(vehicle.sensorNumber));
}

void TableSourcePanel::showTableSource(const std::string& text) {
    ui_.tableStateLabel->setText(fromUtf8(text));
}

void TableSourcePanel::showReference(const ShapeReference* reference) {
    curve_.setReference(reference);
}

void TableSourcePanel::enableSaveTable(bool enabled) {
    ui_.savetableButton->setEnabled(enabled);
}

} // namespace vorkel
