// Binder of guided pouring: the step and start edits, the check box, "Undo last row" and the
// line that says what happens, beside the calibration grid; the grid's part (the volume into
// the current row, the recorded row highlighted, an undone row removed) and the short sound.
#pragma once

#include "calibration/guided_pouring.h"

namespace Ui {
class TmainForm;
}

namespace vorkel {

class GuidedPanel : public GuidedPouringView {
public:
    explicit GuidedPanel(Ui::TmainForm& ui)
        : ui_(ui) {}
    void connectTo(GuidedPouring& guided);

    std::string stepText() const override;
    std::string startText() const override;
    void setGuidedChecked(bool checked) override;
    void showGuidedState(const std::string& text) override;
    bool enterLiters(const std::string& liters) override;
    void announceRow(const std::string& liters) override;
    void removeRow(const std::string& liters) override;
    void enableUndo(bool enabled) override;

private:
    int rowWithLiters(const std::string& liters) const;

    Ui::TmainForm& ui_;
};

} // namespace vorkel
