// Port discovery on Linux: the tty class folder of sysfs, then the virtual sensors.
#include "transport/port_discovery.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace vorkel {
namespace {

namespace fs = std::filesystem;

const fs::path kSysfsTtyRoot = "/sys/class/tty";

constexpr std::string_view kPseudoTerminalFolder = "/dev/pts/";

#if defined(__linux__)
// UNIX98_PTY_SLAVE_MAJOR and the majors after it (linux/major.h).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorCount = 8;
#endif

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

std::string runtimeDirRefusal(const fs::path& folder) {
    return runtimeDirRefusal(folder, static_cast<std::uint32_t>(::geteuid()));
}

std::string runtimeDirRefusal(const fs::path& folder, std::uint32_t ownerUid) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return folder.string() + ": " + std::error_code(errno, std::generic_category()).message();
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder.string() + " is not a folder";
    }
    if (info.st_uid != ownerUid) {
        return folder.string() + " belongs to user " + std::to_string(info.st_uid) +
               ", not to user " + std::to_string(ownerUid);
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return folder.string() + " is writable by group or others";
    }
    return {};
}

bool linksToPseudoTerminal(const fs::path& link) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return false;
    }
    const std::string target = fs::read_symlink(link, error).string();
    if (error || target.size() <= kPseudoTerminalFolder.size() ||
        target.compare(0, kPseudoTerminalFolder.size(), kPseudoTerminalFolder) != 0 ||
        target.find_first_not_of("0123456789", kPseudoTerminalFolder.size()) != std::string::npos) {
        return false;
    }
    return isPseudoTerminalDevice(target);
}

bool isPseudoTerminalDevice(const fs::path& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
#if defined(__linux__)
    const unsigned deviceMajor = major(info.st_rdev);
    return deviceMajor >= kPtySlaveMajorFirst &&
           deviceMajor < kPtySlaveMajorFirst + kPtySlaveMajorCount;
#else
    return true;
#endif
}

std::vector<std::string> listComPorts() {
    return listSysfsSerialPorts(kSysfsTtyRoot);
}

std::vector<PortEntry> discoverPorts() {
    return discoverPosixPorts(kSysfsTtyRoot, userRuntimeDir());
}

} // namespace vorkel
