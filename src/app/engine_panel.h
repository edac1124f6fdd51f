// Binder of the controls the exchange engine switches: the window caption, the command and
// configuration control sets, the firmware start button, the multiplier button, the port
// selector; the reading blanks of a reopened port and of a lost sensor go to the live readings,
// which start a new level trend with them.
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
    // `readings` is used only once the engine runs; it may be constructed after this binder.
    EnginePanel(QWidget& window, Ui::TmainForm& ui, LiveReadings& readings)
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
    void blankLevelDisplays() override { readings_.blankWhileConfigurationChanges(); }
    void resetReadingDisplays() override { readings_.blankForLostSensor(); }
    int selectedPortIndex() const override;
    std::string selectedPortText() const override;

private:
    QWidget& window_;
    Ui::TmainForm& ui_;
    LiveReadings& readings_;
};

} // namespace vorkel
