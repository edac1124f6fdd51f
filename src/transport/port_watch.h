// The port watch: says when the system's serial ports may have changed, so that the port list
// is read again then, and only then (no polling while nothing happens).
//
// Linux: inotify on the device folder (an adapter's node appears and goes with it), on
// /dev/serial and /dev/serial/by-id (udev's stable names, which come a moment later), and on
// the runtime folder and its virtual-ports folder (virtual sensors). inotify rather than
// udev's monitor: it is the kernel's own, needs no library, covers the virtual-ports folder
// (which no device event announces) with the same mechanism, and reports a node when it is
// there to be opened. Kernel uevents come before udev has set the node's group and links, and
// udev's own event feed has no stable format outside libudev.
// Windows: the window receives WM_DEVICECHANGE when a port arrives or leaves; the application
// passes each native message to isPortChangeMessage.
#pragma once

#include <filesystem>
#include <vector>

namespace vorkel {

class PortWatch {
public:
    // The folders above, for the user's runtime folder.
    static std::vector<std::filesystem::path>
    systemFolders(const std::filesystem::path& runtimeDir);

    // Folders that do not exist yet are watched from when they appear (each change looks
    // again), so that the virtual-ports folder a first virtual sensor makes is seen.
    explicit PortWatch(std::vector<std::filesystem::path> folders);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // A descriptor that becomes readable when something changed; -1 where changes come as
    // window messages instead (Windows), or when the system refused the watch.
    int handle() const { return handle_; }
    // Takes the waiting notifications without blocking; true when there were any.
    bool takeChanges();

private:
    void watchFolders();

    std::vector<std::filesystem::path> folders_;
    int handle_ = -1;
};

// Windows: true for a WM_DEVICECHANGE message (`message` points to the MSG that the native
// event filter receives) that says a device came, went or the device tree changed. Elsewhere
// always false.
bool isPortChangeMessage(const void* message);

} // namespace vorkel
