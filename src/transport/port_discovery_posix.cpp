// Port discovery on Linux: the tty class folder of sysfs, then the virtual sensors.
#include "transport/port_discovery.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace vorkel {
namespace {

namespace fs = std::filesystem;

const fs::path kSysfsTtyRoot = "/sys/class/tty";

} // namespace

fs::path userRuntimeDir() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    std::string user;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr) {
        user = entry->pw_name;
    } else if (const char* name = std::getenv("USER"); name != nullptr) {
        user = name;
    }
    return fs::path("/tmp") / ("runtime-" + user);
}

std::vector<std::string> listComPorts() {
    return listSysfsSerialPorts(kSysfsTtyRoot);
}

std::vector<PortEntry> discoverPorts() {
    return discoverPosixPorts(kSysfsTtyRoot, userRuntimeDir());
}

} // namespace vorkel
