#include "transport/port_holder.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <system_error>

#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace vorkel {

namespace fs = std::filesystem;

namespace {

// A process's number, from a folder name of /proc or a field of /proc/locks. 0 names no process
// of ours: /proc/locks shows it for a lock taken outside our PID namespace.
std::optional<int> pidOf(const std::string& name) {
    if (name.empty() || name.size() > 9) {
        return std::nullopt;
    }
    int pid = 0;
    for (const char c : name) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        pid = pid * 10 + (c - '0');
    }
    if (pid == 0) {
        return std::nullopt;
    }
    return pid;
}

// "00:19:3": major and minor in hex, the inode in decimal; nothing else.
std::optional<LockedFile> lockedFileOf(std::string_view field) {
    LockedFile file;
    const auto number = [&field](auto& value, int base, bool last) {
        const char* end = field.data() + field.size();
        const auto [next, error] = std::from_chars(field.data(), end, value, base);
        if (error != std::errc{} || next == field.data() ||
            (last ? next != end : next == end || *next != ':')) {
            return false;
        }
        field.remove_prefix(static_cast<std::size_t>(next - field.data()) + (last ? 0 : 1));
        return true;
    };
    if (number(file.major, 16, false) && number(file.minor, 16, false) &&
        number(file.inode, 10, true)) {
        return file;
    }
    return std::nullopt;
}

// Empty when it cannot be read.
std::string commandName(const fs::path& procRoot, int pid) {
    std::ifstream comm(procRoot / std::to_string(pid) / "comm");
    std::string program;
    std::getline(comm, program);
    return program;
}

// True when the process has a descriptor open on `device` (a canonical path). Another user's
// process, whose descriptors may not be read, has none that we can see.
bool holdsDevice(const fs::path& procRoot, int pid, const fs::path& device) {
    std::error_code error;
    for (fs::directory_iterator fd(procRoot / std::to_string(pid) / "fd", error), end;
         !error && fd != end; fd.increment(error)) {
        std::error_code linkError;
        if (fs::read_symlink(fd->path(), linkError) == device && !linkError) {
            return true;
        }
    }
    return false;
}

// The process that holds a lock on the device. A lock is what keeps the port, where several
// programs have it open.
std::optional<int> lockHolder(const fs::path& device, const fs::path& procRoot, int selfPid) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return std::nullopt;
    }
    std::ifstream file(procRoot / "locks");
    const std::string locks((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
#if defined(__linux__)
    return lockHolderIn(locks, LockedFile{::major(info.st_dev), ::minor(info.st_dev), info.st_ino},
                        selfPid);
#else
    (void)selfPid;
    return std::nullopt;
#endif
}

} // namespace

std::optional<PortHolder> findPortHolder(const fs::path& device, const fs::path& procRoot,
                                         int selfPid) {
    std::error_code error;
    const fs::path wanted = fs::canonical(device, error);
    if (error) {
        return std::nullopt;
    }
    // The lock list keeps the pid of whoever took the lock, also after that process has ended
    // or handed the descriptor to a child, and the pid may have been reused since: it counts
    // only while that process really has the device open.
    if (const std::optional<int> pid = lockHolder(wanted, procRoot, selfPid);
        pid && holdsDevice(procRoot, *pid, wanted)) {
        return PortHolder{*pid, commandName(procRoot, *pid)};
    }
    for (fs::directory_iterator it(procRoot, error), end; !error && it != end;
         it.increment(error)) {
        const std::optional<int> pid = pidOf(it->path().filename().string());
        if (pid && *pid != selfPid && holdsDevice(procRoot, *pid, wanted)) {
            return PortHolder{*pid, commandName(procRoot, *pid)};
        }
    }
    return std::nullopt;
}

std::optional<int> lockHolderIn(std::string_view locks, const LockedFile& file, int selfPid) {
    std::istringstream lines{std::string(locks)};
    for (std::string line; std::getline(lines, line);) {
        if (line.find("->") != std::string::npos) {
            continue; // a program waiting for the lock, not holding it
        }
        // The pid is the field before the first "major:minor:inode" (hex, hex, decimal).
        std::istringstream fields(line);
        std::string previous;
        for (std::string field; fields >> field; previous = field) {
            const std::optional<LockedFile> named = lockedFileOf(field);
            if (!named) {
                continue;
            }
            if (named->major == file.major && named->minor == file.minor &&
                named->inode == file.inode) {
                const std::optional<int> pid = pidOf(previous);
                if (pid && *pid != selfPid) {
                    return pid;
                }
            }
            break;
        }
    }
    return std::nullopt;
}

std::string portInUseText(const std::string& port, const std::optional<PortHolder>& holder) {
    const std::string name = fs::path(port).filename().string();
    if (!holder) {
        return name + " is in use by another program";
    }
    const std::string program = holder->program.empty() ? "another program" : holder->program;
    return name + " is in use by " + program + " (pid " + std::to_string(holder->pid) + ")";
}

} // namespace vorkel
