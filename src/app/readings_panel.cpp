#include "app/readings_panel.h"

#include "ui_TmainForm.h"

#include <QApplication>

namespace vorkel {
namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

void ReadingsPanel::connectTo(LiveReadings& readings) {
    trendPlot_.emplace(*ui_.levelTrendBox, [&readings] { return readings.trendPictureNow(); });
    const std::pair<TStaticText*, ReadingControl> clickable[] = {
        {ui_.levelpct, ReadingControl::Percent},    {ui_.levelRaw, ReadingControl::Raw},
        {ui_.levelU, ReadingControl::Voltage},      {ui_.levelfreq, ReadingControl::Frequency},
        {ui_.tempLabel, ReadingControl::Frequency}, // the temperature has no reading of its own
    };
    for (const auto& [control, reading] : clickable) {
        QObject::connect(control, &TStaticText::clicked, control,
                         [&readings, reading] { readings.selectlitercontrol(reading); });
    }
    QObject::connect(ui_.ReadVersionButton, &QPushButton::clicked, ui_.ReadVersionButton,
                     [&readings] { readings.ReadVersionButtonClick(); });
}

QWidget* ReadingsPanel::display(ReadingControl control) const {
    switch (control) {
    case ReadingControl::Raw:
        return ui_.levelRaw;
    case ReadingControl::Voltage:
        return ui_.levelU;
    case ReadingControl::Frequency:
        return ui_.levelfreq;
    case ReadingControl::Percent:
        break;
    }
    return ui_.levelpct;
}

void ReadingsPanel::showVersion(const VersionDisplay& version) {
    ui_.ProgramVersionLabel->setText(text(version.program));
    ui_.BootloaderVersionLabel->setText(text(version.bootloader));
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_.portspeedComboBox, ui_.rs485rangeComboBox, ui_.mastermodeCheckBox}) {
        control->setEnabled(version.rs485OptionsEnabled);
    }
}

void ReadingsPanel::showMeasuringModule(const std::string& module) {
    ui_.IzmerVersionLabel->setText(text(module));
}

void ReadingsPanel::showReading(ReadingControl control, const std::string& reading) {
    static_cast<TStaticText*>(display(control))->setText(text(reading));
}

void ReadingsPanel::showBar(int position) {
    ui_.levelProgressBar->setValue(position);
}

void ReadingsPanel::showCurrentLevel(const std::string& level) {
    ui_.currentlevelEdit->setText(text(level));
}

void ReadingsPanel::showAveragedLevel(const std::string& level) {
    ui_.averagedlevelEdit->setText(text(level));
}

void ReadingsPanel::showStability(bool stable) {
    ui_.stabilityLabel->setVisible(stable);
    QFont font = ui_.averagedlevelEdit->font();
    font.setBold(stable);
    ui_.averagedlevelEdit->setFont(font);
}

void ReadingsPanel::showLiters(const std::string& liters) {
    ui_.LitersIndicator->setText(text(liters));
}

void ReadingsPanel::showCounter(const std::string& counter) {
    ui_.CNTLabeledEdit->setText(text(counter));
}

void ReadingsPanel::showTemperature(const std::string& temperature) {
    ui_.tempLabel->setText(text(temperature));
}

void ReadingsPanel::clearVersions() {
    ui_.ProgramVersionLabel->clear();
    ui_.BootloaderVersionLabel->clear();
    ui_.IzmerVersionLabel->clear();
}

void ReadingsPanel::highlightReading(ReadingControl control, bool selected) {
    // The system's colours: button face for the others, inactive highlight for the chosen one.
    QWidget* widget = display(control);
    QPalette palette = widget->palette();
    const QPalette system = QApplication::palette();
    palette.setColor(QPalette::Window, selected
                                           ? system.color(QPalette::Inactive, QPalette::Highlight)
                                           : system.color(QPalette::Button));
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
    widget->update();
}

std::string ReadingsPanel::readingText(ReadingControl control) const {
    return static_cast<TStaticText*>(display(control))->text().toStdString();
}

void ReadingsPanel::showTrend() {
    if (trendPlot_) {
        trendPlot_->refresh();
    }
}

void ReadingsPanel::setTrendMinutesCaption(const QString& caption) {
    if (trendPlot_) {
        trendPlot_->setMinutesCaption(caption);
    }
}

} // namespace vorkel
