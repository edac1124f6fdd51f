#include "app/form2.h"

#include "ui_TForm2.h"

namespace vorkel {

TForm2::TForm2(const Localization& localization, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ui_(std::make_unique<Ui::TForm2>()) {
    ui_->setupUi(this);
    FormCreate(localization);
}

TForm2::~TForm2() = default;

void TForm2::FormCreate(const Localization& localization) {
    localization.applyTranslation(this);
    setWindowTitle(localization.getTranslation("Form2"));
}

} // namespace vorkel
