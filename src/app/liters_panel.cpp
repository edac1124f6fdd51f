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
    const std::vector<std::size_t> refused = lookup_.rebuild(rows);

    QStringList refusedKeys;
    for (const std::size_t row : refused) {
        refusedKeys << table.key(static_cast<int>(row));
    }
    // Colouring a cell is a change of the table too; it must not start another rebuild.
    const QSignalBlocker quiet(table);
    const QPalette system = QApplication::palette();
    const QString refusal = QString::fromStdString(services_.translate("rsLitersKeyNotInteger"));
    for (int row = 0; row < table.rowCount(); ++row) {
        if (QTableWidgetItem* cell = table.item(row, TValueListEditor::kKeyColumn)) {
            const bool marked = std::find(refused.begin(), refused.end(),
                                          static_cast<std::size_t>(row)) != refused.end();
            cell->setBackground(marked ? system.brush(QPalette::Highlight) : QBrush());
            cell->setForeground(marked ? system.brush(QPalette::HighlightedText) : QBrush());
            cell->setToolTip(marked ? refusal : QString());
        }
    }
    for (const QString& key : refusedKeys) {
        if (!refusedKeys_.contains(key)) {
            services_.writeLog(refusal + QStringLiteral(" \"%1\"").arg(key));
        }
    }
    refusedKeys_ = refusedKeys;
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
