#include "app/form2.h"

#include "sensor/multiplier_flow.h"
#include "ui_TForm2.h"

#include <QApplication>
#include <QKeyEvent>

namespace vorkel {

TForm2::TForm2(const Localization& localization, QWidget* parent, MessageBoxes* boxes)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ui_(std::make_unique<Ui::TForm2>())
    , localization_(localization)
    , boxes_(boxes != nullptr ? *boxes : ownBoxes_) {
    ui_->setupUi(this);
    FormCreate(localization);
    connect(ui_->TKULabeledEdit, &TLabeledEdit::textChanged, this, &TForm2::TKULabeledEditChange);
    connect(ui_->TKCalculateButton, &QPushButton::clicked, this, &TForm2::TKCalculateButtonClick);
    ui_->TKULabeledEdit->edit()->installEventFilter(this);
}

TForm2::~TForm2() = default;

void TForm2::FormCreate(const Localization& localization) {
    accepted_ = false;
    localization.applyTranslation(this);
    setWindowTitle(localization.getTranslation("Form2"));
}

void TForm2::TKULabeledEditChange() {
    measuredVoltage_ = vorkel::measuredVoltage(ui_->TKULabeledEdit->text().toStdString());
}

void TForm2::TKCalculateButtonClick() {
    const std::string typed = ui_->TKULabeledEdit->text().toStdString();
    const auto refusal = voltageRefusal(typed, measuredVoltage_, [this](std::string_view key) {
        return localization_.translate(key);
    });
    if (refusal) {
        // Titled with the program's name: the box has no owner whose title it could take.
        boxes_.notice(QApplication::applicationName(), QString::fromStdString(*refusal));
        return;
    }
    accepted_ = true;
    accept();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            TKCalculateButtonClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<double> TForm2::run(const Localization& localization, QWidget* parent,
                                  MessageBoxes& boxes) {
    TForm2 dialog(localization, parent, &boxes);
    dialog.exec();
    return dialog.isAccepted() ? std::optional<double>(dialog.measuredVoltage()) : std::nullopt;
}

} // namespace vorkel
