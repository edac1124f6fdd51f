// Binder of the firmware group: the path label (shortened in the middle, so that the file name
// stays readable), the progress bar painted into flashprogresspanel, the two configuration write
// buttons a transfer locks, the file and Update buttons, and the file-open dialog.
#pragma once

#include "firmware/firmware_transfer.h"

#include <QObject>
#include <QString>

class QPainter;
class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class FirmwarePanel : public QObject, public FirmwareView {
public:
    explicit FirmwarePanel(Ui::TmainForm& ui);
    void connectTo(FirmwareTransfer& transfer);

    void showFirmwarePath(const std::filesystem::path& path) override;
    void enableConfigurationWrite(bool enabled) override;
    void showProgressBar() override;
    void setProgress(std::uint32_t bytes) override;

    std::uint32_t progress() const { return progress_; }

    // OpenFlashDialog: an existing file chosen in the working folder, none when cancelled.
    // The filter is written as "description|pattern|..." or as a bare pattern (qtNameFilters).
    static std::optional<std::filesystem::path>
    runOpenFlashDialog(QWidget* parent, const QString& title, const QString& filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void elidePath();
    void paintProgress(QPainter& painter);

    Ui::TmainForm& ui_;
    QString fullPath_;
    std::uint32_t progress_ = 0;
};

} // namespace vorkel
