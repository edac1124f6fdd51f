// The port watch on Linux: one inotify descriptor for all folders.
#include "transport/port_discovery.h"
#include "transport/port_watch.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

#if defined(__linux__)
#include <sys/inotify.h>
#endif

namespace vorkel {

namespace fs = std::filesystem;

std::vector<fs::path> PortWatch::systemFolders(const fs::path& runtimeDir) {
    return {"/dev", "/dev/serial", fs::path(kSerialByIdFolder), runtimeDir,
            runtimeDir / kVirtualPortsFolder};
}

PortWatch::PortWatch(std::vector<fs::path> folders)
    : folders_(std::move(folders)) {
#if defined(__linux__)
    handle_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watchFolders();
#endif
}

PortWatch::~PortWatch() {
    if (handle_ >= 0) {
        ::close(handle_);
    }
}

void PortWatch::watchFolders() {
#if defined(__linux__)
    if (handle_ < 0) {
        return;
    }
    // Adding a watch again for a folder already watched changes nothing; a folder that is not
    // there (yet) is simply refused.
    constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    for (const fs::path& folder : folders_) {
        ::inotify_add_watch(handle_, folder.c_str(), kEvents);
    }
#endif
}

bool PortWatch::takeChanges() {
    if (handle_ < 0) {
        return false;
    }
    bool changed = false;
    alignas(8) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(handle_, buffer, sizeof buffer);
        if (got > 0) {
            changed = true; // which entry does not matter: the port list is read again
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        break; // EAGAIN: all taken
    }
    if (changed) {
        watchFolders();
    }
    return changed;
}

bool isPortChangeMessage(const void*) {
    return false;
}

} // namespace vorkel
