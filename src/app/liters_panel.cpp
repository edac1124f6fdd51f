#include "app/liters_panel.h"

#include "app/settings_keys.h"
#include "ui_TmainForm.h"

#include <algorithm>

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QSignalBlocker>

namespace vorkel {

void LitersPanel::connectTo() {
    QObject::connect(ui_.LitersTableCheckBox, &QCheckBox::clicked, ui_.LitersTableCheckBox,
                     [this] { LitersTableCheckBoxClick(); });
    QObject::connect(ui_.LitersConversionTable, &TValueListEditor::stringsChanged,
                     ui_.LitersConversionTable, [this] { LitersConversionTableStringsChange(); });
}

void LitersPanel::tableLoaded() {
    lookup_.setLoaded();
    LitersConversionTableStringsChange();
}

void LitersPanel::LitersTableCheckBoxClick() {
    ui_.LitersIndicator->setVisible(ui_.LitersTableCheckBox->isChecked());
}

void LitersPanel::LitersConversionTableStringsChange() {
    TValueListEditor& table = *ui_.LitersConversionTable;
    std::vector<LitersRow> rows;
    rows.reserve(static_cast<std::size_t>(table.rowCount()));
    for (int row = 0; row < table.rowCount(); ++row) {
        rows.push_back({table.key(row).toStdString(), table.value(row).toStdString()});
    }
    const std::vector<RefusedCell> refused = lookup_.rebuild(rows);

    const QString refusals[] = {
        QString::fromStdString(services_.translate("rsLitersKeyNotInteger")),
        QString::fromStdString(services_.translate("rsLitersValueNotNumber"))};
    // Colouring a cell is a change of the table too; it must not start another rebuild.
    const QSignalBlocker quiet(table);
    const QPalette system = QApplication::palette();
    const auto mark = [&](int row, int column, bool marked) {
        if (QTableWidgetItem* item = table.item(row, column)) {
            item->setBackground(marked ? system.brush(QPalette::Highlight) : QBrush());
            item->setForeground(marked ? system.brush(QPalette::HighlightedText) : QBrush());
            item->setToolTip(marked ? refusals[column] : QString());
        }
    };
    for (int row = 0; row < table.rowCount(); ++row) {
        mark(row, TValueListEditor::kKeyColumn, false);
        mark(row, TValueListEditor::kValueColumn, false);
    }
    std::vector<std::pair<int, QString>> refusedCells; // column and text
    for (const RefusedCell& cell : refused) {
        const int row = static_cast<int>(cell.row);
        const int column = cell.column == RefusedCell::Key ? TValueListEditor::kKeyColumn
                                                           : TValueListEditor::kValueColumn;
        mark(row, column, true);
        refusedCells.emplace_back(
            column, column == TValueListEditor::kKeyColumn ? table.key(row) : table.value(row));
    }
    for (const auto& cell : refusedCells) {
        if (std::find(refusedCells_.begin(), refusedCells_.end(), cell) == refusedCells_.end()) {
            services_.writeLog(refusals[cell.first] + QStringLiteral(" \"%1\"").arg(cell.second));
        }
    }
    refusedCells_ = std::move(refusedCells);
}

std::string systemDecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

void LitersPanel::loadRows(const QSettings& settings) {
    namespace key = settings_key;
    for (int n = 1; settings.contains(key::litersValue(n)); ++n) {
        const QString value = settings.value(key::litersValue(n)).toString();
        const QString liters = settings.value(key::litersLiters(n)).toString();
        if (!value.isEmpty() && !liters.isEmpty()) {
            ui_.LitersConversionTable->appendRow(value, liters);
        }
    }
}

void LitersPanel::storeRows(QSettings& settings) const {
    namespace key = settings_key;
    // The pair after the last one goes, so that a longer table of an earlier run is not read
    // back.
    const TValueListEditor& table = *ui_.LitersConversionTable;
    int written = 0;
    for (int row = 0; row < table.rowCount(); ++row) {
        if (!table.key(row).isEmpty() && !table.value(row).isEmpty()) {
            ++written;
            settings.setValue(key::litersValue(written), table.key(row));
            settings.setValue(key::litersLiters(written), table.value(row));
        }
    }
    settings.remove(key::litersValue(written + 1));
    settings.remove(key::litersLiters(written + 1));
}

} // namespace vorkel
