// Binder of the controls the exchange engine switches: the window caption, the command and
// configuration control sets, the firmware start button, the multiplier button, the port
// selector; the reading blanks go to the readings' own binder.
#pragma once

#include "protocol/engine_seams.h"
#include "sensor/readings.h"

class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class EnginePanel : public EngineView {
public:
    EnginePanel(QWidget& window, Ui::TmainForm& ui, ReadingsView& readings)
        : window_(window)
        , ui_(ui)
        , readings_(readings) {}

    void setCaption(const std::string& caption) override;
    void enableCommandControls(bool enabled) override;
    void enableConfigurationControls(bool enabled) override;
    void enableStartFlash(bool enabled) override;
    void enableMultiplierButton(bool enabled) override;
    void enableWriteFromFile(bool enabled) override;
    void disableSensorWrites() override;
    void blankLevelDisplays() override { blankWhileConfigurationChanges(readings_); }
    void resetReadingDisplays() override { blankForLostSensor(readings_); }
    int selectedPortIndex() const override;
    std::string selectedPortText() const override;

private:
    QWidget& window_;
    Ui::TmainForm& ui_;
    ReadingsView& readings_;
};

} // namespace vorkel
