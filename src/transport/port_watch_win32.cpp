// The port watch on Windows: nothing to wait on; the window's WM_DEVICECHANGE says it.
#include "transport/port_watch.h"

#include <windows.h>
// After windows.h:
#include <dbt.h>

namespace vorkel {

namespace fs = std::filesystem;

std::vector<fs::path> PortWatch::systemFolders(const fs::path&) {
    return {};
}

PortWatch::PortWatch(std::vector<fs::path> folders)
    : folders_(std::move(folders)) {}

PortWatch::~PortWatch() = default;

void PortWatch::watchFolders() {}

bool PortWatch::takeChanges() {
    return false;
}

bool isPortChangeMessage(const void* message) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg == nullptr || msg->message != WM_DEVICECHANGE) {
        return false;
    }
    // Arrivals and removals of ports are broadcast to every top-level window; a device-tree
    // change covers adapters whose driver sends nothing more specific.
    return msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE ||
           msg->wParam == DBT_DEVNODES_CHANGED;
}

} // namespace vorkel
