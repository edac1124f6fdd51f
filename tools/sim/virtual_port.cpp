#include "sim/virtual_port.h"

#include "transport/port_discovery.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vorkel::sim {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kPrivateFolderMode = 0700;

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct SpeedName {
    speed_t speed;
    std::uint32_t baud;
};

constexpr SpeedName kSpeeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

speed_t speedFor(std::uint32_t baud) {
    for (const SpeedName& entry : kSpeeds) {
        if (entry.baud == baud) {
            return entry.speed;
        }
    }
    return B19200;
}

std::uint32_t baudFor(speed_t speed) {
    for (const SpeedName& entry : kSpeeds) {
        if (entry.speed == speed) {
            return entry.baud;
        }
    }
    return 0;
}

void makeFolder(const fs::path& folder) {
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
        fail("cannot create " + folder.string());
    }
}

} // namespace

PseudoTerminalLine::PseudoTerminalLine(std::uint32_t initialBaud) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        fail("cannot open a pseudo-terminal");
    }
    char name[PATH_MAX];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        fail("ptsname_r");
    }
    devicePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        fail("cannot open " + devicePath_);
    }
    // A fresh pseudo-terminal is a cooked terminal that echoes what it receives: our replies
    // would come back to us as requests until the configurator sets the line up. A raw line
    // also lets a plain client that sets nothing talk to the sensor at its speed.
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
        fail("tcgetattr");
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, speedFor(initialBaud));
    ::cfsetospeed(&tio, speedFor(initialBaud));
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        fail("tcsetattr");
    }
}

PseudoTerminalLine::~PseudoTerminalLine() {
    for (int fd : {slave_, master_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::uint32_t PseudoTerminalLine::lineBaud() const {
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
        return 0;
    }
    return baudFor(::cfgetospeed(&tio));
}

fs::path virtualPortsFolder() {
    return userRuntimeDir() / kVirtualPortsFolder;
}

PublishedLink::PublishedLink(const fs::path& folder, const std::string& name,
                             const fs::path& target)
    : path_(folder / name)
    , target_(target) {
    makeFolder(folder.parent_path());
    makeFolder(folder);
    // The configurator lists the port only from folders nobody else can write into; a link
    // published anywhere else would be refused there without a word, so refuse it here, aloud.
    for (const fs::path& checked : {folder.parent_path(), folder}) {
        if (const std::string refusal = runtimeDirRefusal(checked); !refusal.empty()) {
            throw std::runtime_error(
                "not publishing the port: " + refusal +
                ", so the configurator would not trust it (a runtime folder must be the "
                "user's own and writable by nobody else: set XDG_RUNTIME_DIR to such a folder, "
                "or make this one so with chmod 700)");
        }
    }

    std::error_code error;
    const fs::file_status existing = fs::symlink_status(path_, error);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        throw std::runtime_error(path_.string() + " exists and is not a link; not replaced");
    }
    if (fs::is_symlink(existing)) {
        // Usually left behind by a sensor that was killed. If its device is still there the
        // name may be in use (or the device number reused): say so, but take the name.
        const fs::path old = fs::read_symlink(path_, error);
        if (!error && fs::exists(old, error)) {
            std::cerr << "vorkel-sensor-sim: replacing " << path_.string() << " (it pointed to "
                      << old.string() << ")\n";
        }
    }
    // Linking under a temporary name and renaming replaces the old link in one step, so that
    // a configurator listing the folder never misses the name.
    const fs::path temporary = folder / ("." + name + ".new" + std::to_string(::getpid()));
    fs::remove(temporary, error);
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        fail("cannot create a link in " + folder.string());
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        fs::remove(temporary, error);
        errno = saved;
        fail("cannot publish " + path_.string());
    }
}

PublishedLink::~PublishedLink() {
    std::error_code error;
    if (fs::read_symlink(path_, error) == target_ && !error) {
        fs::remove(path_, error);
    }
}

} // namespace vorkel::sim
