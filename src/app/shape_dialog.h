// The dialog of "Table from shape...": the tank's shape and inner dimensions, the sensor's
// measuring length and the height of its zero, the number of rows, and whether the table fills
// the grid or is drawn on the tank curve as a reference. It only collects the numbers; the
// table and its checks are the core's (tank_shape.h).
#pragma once

#include "app/localization.h"
#include "calibration/table_sources.h"

#include <optional>

#include <QDialog>

class QComboBox;
class QRadioButton;

namespace vorkel {

class TLabeledEdit;

class ShapeDialog : public QDialog {
    Q_OBJECT

public:
    ShapeDialog(const Localization& localization, QWidget* parent = nullptr);

    // The fields as the dialog shows them; a field that is no number gives a value the table
    // refuses with its message.
    ShapeAnswer answer() const;
    void setAnswer(const ShapeAnswer& answer);

    // Shown modally, starting from `previous`; nothing when cancelled.
    static std::optional<ShapeAnswer> run(const Localization& localization, QWidget* parent,
                                          const std::optional<ShapeAnswer>& previous);

private:
    void showFieldsOfShape();

    QComboBox* kind_;
    TLabeledEdit* length_;
    TLabeledEdit* width_;
    TLabeledEdit* height_;
    TLabeledEdit* diameter_;
    TLabeledEdit* sensorLength_;
    TLabeledEdit* zero_;
    TLabeledEdit* rows_;
    QRadioButton* fill_;
    QRadioButton* reference_;
    TLabeledEdit* tolerance_;
};

} // namespace vorkel
