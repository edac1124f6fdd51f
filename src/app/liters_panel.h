// Binder of the litres conversion: the table LitersConversionTable on the service page, whose
// every change rebuilds the lookup once the stored rows are in, the check box that shows or
// hides LitersIndicator, and the marking of rows whose key is not an integer or whose litres
// are not a number.
#pragma once

#include "calibration/liters_lookup.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

class QSettings;

namespace Ui {
class TmainForm;
}

namespace vorkel {

struct LitersPanelServices {
    std::function<std::string(std::string_view key)> translate;
    std::function<void(const QString& message)> writeLog; // one line of the event log
};

class LitersPanel {
public:
    LitersPanel(Ui::TmainForm& ui, LitersLookup& lookup, LitersPanelServices services)
        : ui_(ui)
        , lookup_(lookup)
        , services_(std::move(services)) {}
    void connectTo();

    // The table's complete rows in the settings, as "V,n" and "L,n" numbered from 1 without
    // gaps; read at start-up, written at shut-down.
    void loadRows(const QSettings& settings);
    void storeRows(QSettings& settings) const;

    // The stored rows are in the table: from now on each change rebuilds the lookup, starting
    // with this one.
    void tableLoaded();
    // Shows LitersIndicator exactly while the box is checked.
    void LitersTableCheckBoxClick();
    // Rebuilds the lookup. A key that is not an integer and litres that are not a number are
    // highlighted, and each is told once in the event log, when it appears, not at every
    // change.
    void LitersConversionTableStringsChange();

private:
    Ui::TmainForm& ui_;
    LitersLookup& lookup_;
    LitersPanelServices services_;
    std::vector<std::pair<int, QString>> refusedCells_; // column and text, of the last rebuild
};

// The system's decimal separator, for the litres text.
std::string systemDecimalSeparator();

} // namespace vorkel
