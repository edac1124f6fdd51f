// The multiplier dialog: asks for the voltage measured on the analog output with a full tank,
// and accepts it only within 18..22 V. Created for each computation, shown modally.
#pragma once

#include "app/localization.h"
#include "app/message_boxes.h"

#include <memory>
#include <optional>

#include <QDialog>

namespace Ui {
class TForm2;
}

namespace vorkel {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    // `boxes` shows the refusal of a voltage (the real boxes when none is given).
    TForm2(const Localization& localization, QWidget* parent = nullptr,
           MessageBoxes* boxes = nullptr);
    ~TForm2() override;

    Ui::TForm2& ui() { return *ui_; }
    double measuredVoltage() const { return measuredVoltage_; }
    bool isAccepted() const { return accepted_; }

    void TKULabeledEditChange();
    void TKCalculateButtonClick();

    // Shows the dialog modally; the accepted voltage, or nothing when it was closed.
    static std::optional<double> run(const Localization& localization, QWidget* parent,
                                     MessageBoxes& boxes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const Localization& localization);

    std::unique_ptr<Ui::TForm2> ui_;
    const Localization& localization_;
    QtMessageBoxes ownBoxes_;
    MessageBoxes& boxes_;
    double measuredVoltage_ = 0.0;
    bool accepted_ = false;
};

} // namespace vorkel
