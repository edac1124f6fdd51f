// The calibration table: pairs of litres and sensor readings collected while a tank is filled
// step by step, and their export as a tank table for a telematics platform. The grid itself
// (unique keys, Enter inserting an empty row above the current one) is the window's; this
// class decides what the two buttons do.
#pragma once

#include "calibration/calibration_services.h"
#include "calibration/table_export.h"

#include <string>
#include <utility>
#include <vector>

namespace vorkel {

// The grid tarEditor, its save button and the installation description edits.
class CalibrationTableView {
public:
    virtual ~CalibrationTableView() = default;
    virtual std::vector<TableRow> rows() const = 0; // top to bottom
    virtual int currentRow() const = 0;             // -1 for none
    virtual void setValues(int row, const std::string& text) = 0;
    // An empty row at the current row, which moves down with all below it; nothing when the
    // current row is an empty row already.
    virtual void insertEmptyRowAtCurrent() = 0;
    // Selects the row's Liters cell and focuses the grid, ready for the next volume.
    virtual void editLiters(int row) = 0;
    virtual void enableSaveTable(bool enabled) = 0;
    virtual InstallationDescription installation() const = 0;
};

class CalibrationTable {
public:
    CalibrationTable(CalibrationTableView& view, CalibrationServices services)
        : view_(view)
        , services_(std::move(services)) {}

    // "Read the level into table": the selected reading goes into the current row, whose
    // Liters cell must be filled; a new empty row above it takes the next volume.
    void TarGetLevelButtonClick();
    // "Download table": the export in the format of the dialog's filter entry.
    void savetableButtonClick();

private:
    CalibrationTableView& view_;
    CalibrationServices services_;
};

} // namespace vorkel
