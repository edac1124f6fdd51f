// Binder of the configuration controls: output mode and frequency groups, the analog range
// up-downs with their hidden edits, the RS-485 group, averaging, the read, write and "Test 05"
// buttons.
#pragma once

#include "sensor/configuration_flow.h"

namespace Ui {
class TmainForm;
}

namespace vorkel {

class ConfigurationPanel : public ConfigurationView {
public:
    explicit ConfigurationPanel(Ui::TmainForm& ui)
        : ui_(ui) {}
    // Also binds each range up-down to its hidden edit, so that the edit's text is the position;
    // the address filter applies to what the user types, not to texts the program sets.
    void connectTo(SensorConfiguration& configuration);

    ModeControls modeControls() const override;
    void showModeControls(const ModeControls& controls) override;
    std::string lowerIndexText() const override;
    std::string upperIndexText() const override;
    void showRangeIndices(int lower, int upper) override;
    void showRangeCaption(const std::string& text) override;
    std::string addressText() const override;
    void showAddress(const std::string& text) override;
    std::vector<std::string> averagingItems() const override;
    int averagingIndex() const override;
    void selectAveraging(int index) override;
    void addAveragingItem(const std::string& text) override;
    void removeAveragingItem(int index) override;
    void showRs485Caption(const std::string& text) override;
    void enableOutputControls(bool analog) override;
    void enableWriteButtons(bool enabled) override;

private:
    Ui::TmainForm& ui_;
};

} // namespace vorkel
