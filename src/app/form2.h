// The multiplier dialog: computes a new technological multiplier from the voltage measured on
// the analog output with a full tank. Created once after the main window, shown on demand.
#pragma once

#include "app/localization.h"

#include <memory>

#include <QDialog>

namespace Ui {
class TForm2;
}

namespace vorkel {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    TForm2(const Localization& localization, QWidget* parent = nullptr);
    ~TForm2() override;

    Ui::TForm2& ui() { return *ui_; }

private:
    void FormCreate(const Localization& localization);

    std::unique_ptr<Ui::TForm2> ui_;
};

} // namespace vorkel
