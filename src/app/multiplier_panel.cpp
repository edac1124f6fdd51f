#include "app/multiplier_panel.h"

#include "ui_TmainForm.h"

namespace vorkel {

void MultiplierPanel::connectTo(MultiplierFlow& multiplier) {
    auto* m = &multiplier;
    QObject::connect(ui_.tkoeffUpDown, &TUpDown::changing, ui_.tkoeffUpDown,
                     [m] { m->tkoeffUpDownChanging(); });
    QObject::connect(ui_.tkoeffUpDown, &TUpDown::clicked, ui_.tkoeffUpDown,
                     [m] { m->tkoeffUpDownClick(); });
    QObject::connect(ui_.tkoeffButton, &QPushButton::clicked, ui_.tkoeffButton,
                     [m] { m->tkoeffButtonClick(); });
}

int MultiplierPanel::position() const {
    return ui_.tkoeffUpDown->position();
}

void MultiplierPanel::showPosition(int position) {
    ui_.tkoeffUpDown->setPosition(position);
}

void MultiplierPanel::showPercent(const std::string& text) {
    ui_.tkoefflabel->setText(QString::fromStdString(text));
}

} // namespace vorkel
