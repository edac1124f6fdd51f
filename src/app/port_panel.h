// Binder of the port selector (`comportComboBox`) to the live port list: shows the entries as
// "ttyUSB0 — FT232R USB UART (FTDI)" with the bare name kept in the entry's data (the name is
// what the `port` setting, the caption and the log use), edits the list in place so that
// nothing moves under an open drop-down, and passes the system's port changes on (the port
// watch's descriptor, the window's WM_DEVICECHANGE on Windows).
#pragma once

#include "protocol/live_ports.h"
#include "transport/port_watch.h"

#include <filesystem>
#include <memory>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QSocketNotifier>
#include <QString>

class QComboBox;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class PortPanel : public PortSelectorView {
public:
    static constexpr int kNameRole = Qt::UserRole; // the entry's port name

    explicit PortPanel(Ui::TmainForm& ui);
    ~PortPanel() override;

    void showPorts(const std::vector<PortEntry>& entries) override;
    void selectPort(int index) override;
    int selectedPort() const override;

    // The selector's choice goes to `ports`, and so do the changes of the watched folders
    // and the device-change messages.
    void connectTo(LivePorts& ports, const std::vector<std::filesystem::path>& watchedFolders);

    // The port name of a selector entry (its text for an entry without one).
    static QString portName(const QComboBox& box, int index);

private:
    class DeviceChangeFilter;

    Ui::TmainForm& ui_;
    std::unique_ptr<PortWatch> watch_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<DeviceChangeFilter> deviceChanges_;
};

} // namespace vorkel
