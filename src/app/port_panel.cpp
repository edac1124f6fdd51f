#include "app/port_panel.h"

#include "ui_TmainForm.h"

#include <QCoreApplication>

namespace vorkel {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// Windows announces arriving and leaving ports to every top-level window; the message is
// passed on as it comes, and the port list is read after the settling time.
class PortPanel::DeviceChangeFilter : public QAbstractNativeEventFilter {
public:
    explicit DeviceChangeFilter(LivePorts& ports)
        : ports_(ports) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType == "windows_generic_MSG" && isPortChangeMessage(message)) {
            ports_.portsMayHaveChanged();
        }
        return false; // the window still gets it
    }

private:
    LivePorts& ports_;
};

PortPanel::PortPanel(Ui::TmainForm& ui)
    : ui_(ui) {}

PortPanel::~PortPanel() {
    if (deviceChanges_ && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(deviceChanges_.get());
    }
}

QString PortPanel::portName(const QComboBox& box, int index) {
    const QVariant name = box.itemData(index, kNameRole);
    return name.isValid() ? name.toString() : box.itemText(index);
}

void PortPanel::showPorts(const std::vector<PortEntry>& entries) {
    QComboBox& box = *ui_.comportComboBox;
    const auto listed = [&](const QString& name) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const PortEntry& entry) { return fromUtf8(entry.name) == name; });
    };
    for (int i = box.count() - 1; i >= 0; --i) {
        if (!box.itemData(i, kNameRole).isValid() || !listed(portName(box, i))) {
            box.removeItem(i);
        }
    }
    // What stays is in the entries' order already; the new entries go in between.
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const PortEntry& entry = entries[static_cast<std::size_t>(i)];
        const QString text = fromUtf8(portDisplayText(entry));
        if (i >= box.count() || portName(box, i) != fromUtf8(entry.name)) {
            box.insertItem(i, text, fromUtf8(entry.name));
        } else if (box.itemText(i) != text) {
            box.setItemText(i, text);
        }
    }
}

void PortPanel::selectPort(int index) {
    ui_.comportComboBox->setCurrentIndex(index);
}

int PortPanel::selectedPort() const {
    return ui_.comportComboBox->currentIndex();
}

void PortPanel::connectTo(LivePorts& ports,
                          const std::vector<std::filesystem::path>& watchedFolders) {
    QObject::connect(ui_.comportComboBox, &QComboBox::activated, ui_.comportComboBox,
                     [&ports] { ports.comportComboBoxChange(); });
    watch_ = std::make_unique<PortWatch>(watchedFolders);
    if (watch_->handle() >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(watch_->handle(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this, &ports] {
                             if (watch_->takeChanges()) {
                                 ports.portsMayHaveChanged();
                             }
                         });
    }
    deviceChanges_ = std::make_unique<DeviceChangeFilter>(ports);
    QCoreApplication::instance()->installNativeEventFilter(deviceChanges_.get());
}

} // namespace vorkel
