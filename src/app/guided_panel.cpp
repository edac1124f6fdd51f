#include "app/guided_panel.h"

#include "ui_TmainForm.h"

#include <QApplication>
#include <QSignalBlocker>

namespace vorkel {
namespace {

const QColor kRecordedRow(200, 235, 200);

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void GuidedPanel::connectTo(GuidedPouring& guided) {
    // clicked, not toggled: a box the flow switches back off is no click.
    QObject::connect(ui_.guidedCheckBox, &QCheckBox::clicked, ui_.guidedCheckBox,
                     [&guided](bool checked) { guided.GuidedCheckBoxClick(checked); });
    QObject::connect(ui_.undoRowButton, &QPushButton::clicked, ui_.undoRowButton,
                     [&guided] { guided.UndoButtonClick(); });
}

std::string GuidedPanel::stepText() const {
    return ui_.guidedStepEdit->text().toStdString();
}

std::string GuidedPanel::startText() const {
    return ui_.guidedStartEdit->text().toStdString();
}

void GuidedPanel::setGuidedChecked(bool checked) {
    const QSignalBlocker quiet(ui_.guidedCheckBox);
    ui_.guidedCheckBox->setChecked(checked);
}

void GuidedPanel::showGuidedState(const std::string& text) {
    ui_.tableStateLabel->setText(fromUtf8(text));
}

bool GuidedPanel::enterLiters(const std::string& liters) {
    TValueListEditor& grid = *ui_.tarEditor;
    if (grid.currentRow() < 0) {
        grid.setCurrentCell(0, TValueListEditor::kKeyColumn);
    }
    // The volume goes into an empty row, as the engineer would type it: a filled current row
    // gets an empty one above it (the Enter rule).
    grid.insertEmptyRowAtCurrent();
    return grid.setKey(grid.currentRow(), fromUtf8(liters));
}

int GuidedPanel::rowWithLiters(const std::string& liters) const {
    const QString key = fromUtf8(liters);
    for (int row = 0; row < ui_.tarEditor->rowCount(); ++row) {
        if (ui_.tarEditor->key(row) == key) {
            return row;
        }
    }
    return -1;
}

void GuidedPanel::announceRow(const std::string& liters) {
    QApplication::beep();
    TValueListEditor& grid = *ui_.tarEditor;
    const int row = rowWithLiters(liters);
    if (row < 0) {
        return;
    }
    // A colour is no change of the table's content; the next change of the grid clears it.
    const QSignalBlocker quiet(grid);
    for (const int column : {TValueListEditor::kKeyColumn, TValueListEditor::kValueColumn}) {
        if (QTableWidgetItem* cell = grid.item(row, column)) {
            cell->setBackground(kRecordedRow);
        }
    }
    grid.scrollToItem(grid.item(row, TValueListEditor::kKeyColumn));
}

void GuidedPanel::removeRow(const std::string& liters) {
    if (const int row = rowWithLiters(liters); row >= 0) {
        ui_.tarEditor->removeRowAt(row);
    }
}

void GuidedPanel::enableUndo(bool enabled) {
    ui_.undoRowButton->setEnabled(enabled);
}

} // namespace vorkel
