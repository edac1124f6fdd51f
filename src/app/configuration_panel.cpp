#include "app/configuration_panel.h"

#include "ui_TmainForm.h"

namespace vorkel {
namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

void ConfigurationPanel::connectTo(SensorConfiguration& configuration) {
    ui_.unizhUpDown->setAssociate(ui_.unizhEdit);
    ui_.uverhUpDown->setAssociate(ui_.uverhEdit);
    auto* c = &configuration;
    for (QPushButton* button : {ui_.readconfButton, ui_.readconfbutton2}) {
        QObject::connect(button, &QPushButton::clicked, button, [c] { c->readconfButtonClick(); });
    }
    for (QPushButton* button : {ui_.writeconfButton, ui_.writeconfButton2}) {
        QObject::connect(button, &QPushButton::clicked, button, [c] { c->writeconfButtonClick(); });
    }
    QObject::connect(ui_.test05button, &QPushButton::clicked, ui_.test05button,
                     [c] { c->test05buttonClick(); });
    QObject::connect(ui_.outputmoderadio, &TRadioGroup::clicked, ui_.outputmoderadio,
                     [c] { c->outputmoderadioClick(); });
    QObject::connect(ui_.unizhUpDown, &TUpDown::clicked, ui_.unizhUpDown,
                     [c] { c->unizhUpDownClick(); });
    QObject::connect(ui_.uverhUpDown, &TUpDown::clicked, ui_.uverhUpDown,
                     [c] { c->uverhUpDownClick(); });
    QObject::connect(ui_.rs485rangeComboBox, &QComboBox::activated, ui_.rs485rangeComboBox,
                     [c] { c->rs485rangeComboBoxChange(); });
    QLineEdit* address = ui_.addressEdit->edit();
    QObject::connect(address, &QLineEdit::textEdited, address, [c, address](const QString& typed) {
        const auto [filtered, caret] =
            c->addressEditChange(typed.toStdString(), address->cursorPosition());
        if (text(filtered) != typed) {
            address->setText(text(filtered));
            address->setCursorPosition(caret);
        }
    });
}

ModeControls ConfigurationPanel::modeControls() const {
    return {ui_.outputmoderadio->itemIndex(),       ui_.freqoutRadioGroup->itemIndex(),
            ui_.rangeRadioGroup->itemIndex(),       ui_.mastermodeCheckBox->isChecked(),
            ui_.rs485rangeComboBox->currentIndex(), ui_.portspeedComboBox->currentIndex()};
}

void ConfigurationPanel::showModeControls(const ModeControls& controls) {
    ui_.outputmoderadio->setItemIndex(controls.outputMode);
    ui_.freqoutRadioGroup->setItemIndex(controls.frequencyOutput);
    ui_.rangeRadioGroup->setItemIndex(controls.frequencyRange);
    ui_.mastermodeCheckBox->setChecked(controls.autoPush);
    ui_.rs485rangeComboBox->setCurrentIndex(controls.rs485Range);
    ui_.portspeedComboBox->setCurrentIndex(controls.bitrate);
}

std::string ConfigurationPanel::lowerIndexText() const {
    return ui_.unizhEdit->text().toStdString();
}

std::string ConfigurationPanel::upperIndexText() const {
    return ui_.uverhEdit->text().toStdString();
}

void ConfigurationPanel::showRangeIndices(int lower, int upper) {
    ui_.unizhUpDown->setPosition(lower);
    ui_.uverhUpDown->setPosition(upper);
}

void ConfigurationPanel::showRangeCaption(const std::string& caption) {
    ui_.actualrangeLabel->setText(text(caption));
}

std::string ConfigurationPanel::addressText() const {
    return ui_.addressEdit->text().toStdString();
}

void ConfigurationPanel::showAddress(const std::string& address) {
    ui_.addressEdit->setText(text(address));
}

std::vector<std::string> ConfigurationPanel::averagingItems() const {
    std::vector<std::string> items;
    for (int i = 0; i < ui_.AveragingComboBox->count(); ++i) {
        items.push_back(ui_.AveragingComboBox->itemText(i).toStdString());
    }
    return items;
}

int ConfigurationPanel::averagingIndex() const {
    return ui_.AveragingComboBox->currentIndex();
}

void ConfigurationPanel::selectAveraging(int index) {
    ui_.AveragingComboBox->setCurrentIndex(index);
}

void ConfigurationPanel::addAveragingItem(const std::string& item) {
    ui_.AveragingComboBox->addItem(text(item));
}

void ConfigurationPanel::removeAveragingItem(int index) {
    ui_.AveragingComboBox->removeItem(index);
}

void ConfigurationPanel::showRs485Caption(const std::string& caption) {
    ui_.rs485label->setText(text(caption));
}

void ConfigurationPanel::enableOutputControls(bool analog) {
    ui_.AnalogmodeGroupBox->setEnabled(analog);
    ui_.actualrangeLabel->setEnabled(analog);
    ui_.rangeRadioGroup->setEnabled(!analog);
    ui_.freqoutRadioGroup->setEnabled(!analog);
}

void ConfigurationPanel::enableWriteButtons(bool enabled) {
    ui_.writeconfButton->setEnabled(enabled);
    ui_.writeconfButton2->setEnabled(enabled);
}

} // namespace vorkel
