// Binder of "Load table..." and "Table from shape...": the grid filled with a table from a
// file or from the tank's shape, the installation edits from the file, the line that says
// where the table came from, the reference curve handed to the tank curve, and the two
// dialogs (the open dialog with the export's five filter entries, and the shape dialog).
#pragma once

#include "app/curve_panel.h"
#include "app/localization.h"
#include "calibration/table_sources.h"

#include <functional>

class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class TableSourcePanel : public TableSourceView {
public:
    TableSourcePanel(Ui::TmainForm& ui, CurvePanel& curve)
        : ui_(ui)
        , curve_(curve) {}
    void connectTo(TableSources& sources);

    // The real dialogs, over `window`; the shape dialog starts from the answer it gave last.
    static std::optional<TableFileChoice> runOpenTableDialog(QWidget* window,
                                                             const QString& title);
    std::optional<ShapeAnswer> runShapeDialog(const Localization& localization, QWidget* window);

    std::vector<TableRow> tableRows() const override;
    void replaceRows(const std::vector<TableRow>& rows) override;
    void showLoadedInstallation(const VehicleDetails& vehicle) override;
    void showTableSource(const std::string& text) override;
    void showReference(const ShapeReference* reference) override;
    void enableSaveTable(bool enabled) override;

private:
    Ui::TmainForm& ui_;
    CurvePanel& curve_;
    std::optional<ShapeAnswer> lastShape_;
};

} // namespace vorkel
