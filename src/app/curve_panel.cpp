#include "app/curve_panel.h"

#include "app/curve_painter.h"
#include "ui_TmainForm.h"

#include <QSignalBlocker>

namespace vorkel {
namespace {

const QColor kMarkedRow(255, 205, 205);

} // namespace

void CurvePanel::connectTo(CalibrationCurve& curve) {
    curve_ = &curve.curve();
    QObject::connect(ui_.tarEditor, &TValueListEditor::stringsChanged, ui_.tarEditor,
                     [&curve] { curve.tarEditorStringsChange(); });
    ui_.tankCurveBox->onPaint = [this](QPainter& painter) {
        painter.fillRect(ui_.tankCurveBox->rect(), Qt::white);
        paintTankCurve(painter, QRectF(ui_.tankCurveBox->rect()).adjusted(2, 2, -2, -2), *curve_,
                       {ui_.tarEditor->valueTitle(), ui_.tarEditor->keyTitle()}, reference_);
    };
    curve.tarEditorStringsChange();
}

void CurvePanel::setReference(const ShapeReference* reference) {
    reference_ = reference;
    ui_.tankCurveBox->update();
}

std::vector<TableRow> CurvePanel::tableRows() const {
    const TValueListEditor& grid = *ui_.tarEditor;
    std::vector<TableRow> rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        rows.push_back({grid.key(row).toStdString(), grid.value(row).toStdString()});
    }
    return rows;
}

void CurvePanel::showCurve(const TankCurve& curve) {
    TValueListEditor& grid = *ui_.tarEditor;
    std::vector<QString> reasons(static_cast<std::size_t>(grid.rowCount()));
    for (const CurvePoint& point : curve.rows) {
        if (isMarked(point.check)) {
            reasons.at(static_cast<std::size_t>(point.gridRow)) =
                QString::fromStdString(translate_(rowCheckReasonKey(point.check)));
        }
    }
    // A colour is no change of the table's content.
    const QSignalBlocker quiet(grid);
    QStringList numbers;
    const auto rowCount = static_cast<std::size_t>(grid.rowCount());
    for (std::size_t row = 0; row < rowCount; ++row) {
        numbers << QString::number(exportRowNumber(row, rowCount));
    }
    grid.showRowNumbers(numbers);
    for (int row = 0; row < grid.rowCount(); ++row) {
        const QString& reason = reasons[static_cast<std::size_t>(row)];
        for (const int column : {TValueListEditor::kKeyColumn, TValueListEditor::kValueColumn}) {
            QTableWidgetItem* cell = grid.item(row, column);
            if (!reason.isEmpty()) {
                if (cell == nullptr) {
                    cell = new QTableWidgetItem;
                    grid.setItem(row, column, cell);
                }
                cell->setBackground(kMarkedRow);
                cell->setToolTip(reason);
            } else if (cell != nullptr && cell->data(Qt::BackgroundRole).isValid()) {
                cell->setData(Qt::BackgroundRole, QVariant());
                cell->setToolTip(QString());
            }
        }
    }
    ui_.tankCurveBox->update();
}

} // namespace vorkel
