// Where a calibration table comes from besides the level: a file of one of the five export
// formats ("Load table..."), or the tank's shape ("Table from shape..."), which either fills
// the grid or stands beside the poured curve as a dashed reference. A table that replaces
// rows already in the grid does so only when the engineer agrees, and a file that cannot be
// read leaves the grid as it was.
#pragma once

#include "calibration/table_import.h"
#include "calibration/tank_shape.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// The open dialog's answer: the file and its filter entry (a hint to the format).
struct TableFileChoice {
    std::filesystem::path path;
    std::optional<ExportFormat> hint;
};

// The shape dialog's answer.
struct ShapeAnswer {
    TankDimensions tank;
    SensorPlacement sensor;
    int rows = 0;
    bool fillGrid = true; // else the computed curve is drawn as a reference
    double tolerancePercent = 2.0;
};

class TableSourceView {
public:
    virtual ~TableSourceView() = default;
    virtual std::vector<TableRow> tableRows() const = 0; // top to bottom
    // The grid's rows replaced; the first row becomes the current one.
    virtual void replaceRows(const std::vector<TableRow>& rows) = 0;
    // Car ID and sensor number into their edits.
    virtual void showLoadedInstallation(const VehicleDetails& vehicle) = 0;
    // The line under the grid that says where the table came from; empty: nothing to say.
    virtual void showTableSource(const std::string& text) = 0;
    virtual void showReference(const ShapeReference* reference) = 0; // nothing: none
    virtual void enableSaveTable(bool enabled) = 0;
};

struct TableSourceServices {
    std::function<std::string(std::string_view key)> translate;
    std::function<void(const std::string& text)> showWarningBox;
    std::function<bool(const std::string& title, const std::string& text)> confirm;
    std::function<std::optional<TableFileChoice>()> chooseTableFile;
    std::function<std::optional<ShapeAnswer>()> chooseShape;
    // The selected display and what its conversion takes, as the live displays have them.
    std::function<ReadingScale()> readingScale;
};

class TableSources {
public:
    TableSources(TableSourceView& view, TableSourceServices services)
        : view_(view)
        , services_(std::move(services)) {}

    void loadtableButtonClick();
    void shapeButtonClick();
    const std::optional<ShapeReference>& reference() const { return reference_; }

private:
    bool mayReplaceRows();
    void fillGrid(const std::vector<TableRow>& rows);

    TableSourceView& view_;
    TableSourceServices services_;
    std::optional<ShapeReference> reference_;
};

// "VORKEL", "FORT", "WIALON TXT", "WIALON CSV", "Omnicomm XML": as the dialogs name them.
std::string_view exportFormatTitle(ExportFormat format);

} // namespace vorkel
