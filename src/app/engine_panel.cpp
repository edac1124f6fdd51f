#include "app/engine_panel.h"

#include "app/port_panel.h"
#include "ui_TmainForm.h"

namespace vorkel {

void EnginePanel::setCaption(const std::string& caption) {
    window_.setWindowTitle(QString::fromStdString(caption));
}

void EnginePanel::enableCommandControls(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_.readtarButton, ui_.readtar2Button, ui_.ReadVersionButton,
             ui_.readconfButton, ui_.readconfbutton2, ui_.comportComboBox, ui_.test05button}) {
        control->setEnabled(enabled);
    }
    if (enabled) {
        ui_.flashprogresspanel->hide();
    }
}

void EnginePanel::enableConfigurationControls(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui_.outputmoderadio, ui_.unizhUpDown, ui_.uverhUpDown,
                                         ui_.AveragingComboBox, ui_.tkoeffUpDown}) {
        control->setEnabled(enabled);
    }
}

void EnginePanel::enableStartFlash(bool enabled) {
    ui_.startflashButton->setEnabled(enabled);
}

void EnginePanel::enableMultiplierButton(bool enabled) {
    ui_.tkoeffButton->setEnabled(enabled);
}

void EnginePanel::enableWriteFromFile(bool enabled) {
    ui_.writetarButton->setEnabled(enabled);
}

void EnginePanel::disableSensorWrites() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_.writeconfButton, ui_.writeconfButton2, ui_.writetar2Button}) {
        control->setEnabled(false);
    }
}

int EnginePanel::selectedPortIndex() const {
    return ui_.comportComboBox->currentIndex();
}

std::string EnginePanel::selectedPortText() const {
    // The name alone: the entry's text also says what the adapter is.
    const QComboBox& box = *ui_.comportComboBox;
    return box.currentIndex() < 0 ? std::string()
                                  : PortPanel::portName(box, box.currentIndex()).toStdString();
}

} // namespace vorkel
